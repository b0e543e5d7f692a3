## Entry point and command dispatch: banner, lookup, refusals.

%!test
%! ## The banner, on every call without arguments, names the version and the
%! ## commands.
%! first = evalc ('vorlex ()');
%! assert (! isempty (strfind (first, 'vorlex 1.2.0')));
%! assert (! isempty (strfind (first, 'resultGet')));
%! assert (strcmp (evalc ('vorlex'), first));

%!test
%! ## The module locks itself: clearing functions keeps it loaded.
%! evalc ('vorlex ()');
%! clear functions
%! assert (mislocked ('vorlex'));

%!test
%! ## Every command name selects its own row whatever the case: the error a
%! ## call with eight empty arguments raises belongs to that command.
%! names = {'exec', 'paramExec', 'batchExec', 'clear', 'paramPut', 'resultGet', ...
%!          'paramCreate', 'paramClear', 'isNull', 'resultErrorMessage', ...
%!          'resultStatus', 'fieldCount', 'rowCount', 'fieldName', 'connect', ...
%!          'finish', 'status', 'errorMessage', 'paramReset', 'paramCount', ...
%!          'fieldNumber', 'binaryTuples', 'cmdStatus', 'cmdTuples', 'db', ...
%!          'execText', 'fieldSize', 'valueLength', 'getValue', 'host', ...
%!          'options', 'pass', 'port', 'reset', 'user', 'copyIn', 'copyOut', ...
%!          'query', 'insert', 'fieldType', 'lastError'};
%! assert (numel (names), 41);
%! for k = 1:numel (names)
%!   name = names{k};
%!   mixed = name;
%!   mixed(1:2:end) = upper (mixed(1:2:end));
%!   for variant = {name, upper(name), lower(name), mixed}
%!     try
%!       vorlex (variant{1}, [], [], [], [], [], [], [], []);
%!       error ('test:noError', '%s raised nothing', variant{1});
%!     catch err
%!       prefix = ['vorlex:' name ':'];
%!       assert (strncmp (err.identifier, prefix, numel (prefix)), ...
%!               sprintf ('%s gave %s', variant{1}, err.identifier));
%!     end
%!   end
%! end

%!error <argument 1> vorlex (42)
%!error id=vorlex:dispatch:commandNotChar vorlex (42)
%!error id=vorlex:dispatch:commandNotChar vorlex ({'exec'})
%!error id=vorlex:dispatch:commandNotChar vorlex (uint8 ('exec'))
%!error id=vorlex:dispatch:commandNotChar vorlex (@sin)
%!error id=vorlex:dispatch:commandNotChar vorlex (struct ('exec', 1))
%!error id=vorlex:dispatch:commandNotChar vorlex ([])
%!error id=vorlex:dispatch:commandNotChar vorlex (true, 'exec')

%!error <unknown command 'nosuch'> vorlex ('nosuch')
%!error id=vorlex:dispatch:unknownCommand vorlex (' exec')
%!error id=vorlex:dispatch:unknownCommand vorlex ('exec ')
%!error id=vorlex:dispatch:unknownCommand vorlex ('')
%!error id=vorlex:dispatch:unknownCommand vorlex (repmat ('x', 1, 100000))
%!error id=vorlex:dispatch:unknownCommand vorlex (['exec' char(0)])
%!error id=vorlex:dispatch:unknownCommand vorlex (['exec' char(0) 'x'])
%!error id=vorlex:dispatch:unknownCommand vorlex (['ex'; 'ec'])
%!error id=vorlex:dispatch:unknownCommand vorlex ('exéc')

%!test
%! ## The name comes back in the message unchanged, never used as a format.
%! try
%!   vorlex ('%s%n%d 100%');
%!   error ('an unknown command passed');
%! catch err
%!   assert (err.identifier, 'vorlex:dispatch:unknownCommand');
%!   assert (! isempty (strfind (err.message, '''%s%n%d 100%''')), err.message);
%! end
