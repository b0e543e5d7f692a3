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

%!function out = outcome (outputs, args)
%!  ## The OUTPUTS outputs of vorlex (ARGS{:}), or the identifier of the
%!  ## error it raised.
%!  out = cell (1, outputs);
%!  try
%!    if (outputs == 0)
%!      vorlex (args{:});
%!    else
%!      [out{:}] = vorlex (args{:});
%!    end
%!  catch err
%!    out = err.identifier;
%!  end
%!endfunction

%!test
%! ## Every true/false option takes a logical or a number 0 or 1 of any class
%! ## alike, and refuses anything else as optionValue.
%! c = vorlex ('connect', '');
%! unwind_protect
%!   vorlex ('exec', c, 'create temp table flags (a int4)');
%!   r = vorlex ('exec', c, 'select 1::int4 as a');
%!   s = struct ('a', int32 (1));
%!   calls = {
%!     ## outputs, the call up to the option's name, whether true and false differ
%!     1, {'query', c, 'select 1::int4 as a', 'keepClass'},                 true
%!     1, {'query', c, 'select 1::int4 as a', 'progress'},                  false
%!     1, {'resultGet', r, '%int4', 0, 'columnVectors'},                    true
%!     1, {'copyOut', c, 'select 1::int4', '%int4', 'columnVectors'},       true
%!     1, {'copyOut', c, 'select 1::int4', '%int4', 'progress'},            false
%!     1, {'insert', c, 'flags', struct('A', 1), 'exactNames'},             true
%!     1, {'insert', c, 'flags', s, 'progress'},                            false
%!     1, {'copyIn', c, 'flags', '%int4', s, 'progress'},                   false
%!     0, {'batchExec', c, 'insert into flags values ($1)', '%int4', s, 'progress'}, false
%!   };
%!   for k = 1:rows (calls)
%!     [outputs, call, differ] = calls{k,:};
%!     yes = outcome (outputs, [call, {true}]);
%!     no = outcome (outputs, [call, {false}]);
%!     assert (outcome (outputs, [call, {1}]), yes, call{end});
%!     assert (outcome (outputs, [call, {int8(0)}]), no, call{end});
%!     assert (isequal (yes, no), ! differ, call{end});
%!     refused = ['vorlex:' call{1} ':optionValue'];
%!     assert (outcome (outputs, [call, {2}]), refused, call{end});
%!     assert (outcome (outputs, [call, {'yes'}]), refused, call{end});
%!   end
%!   vorlex ('clear', r);
%! unwind_protect_cleanup
%!   vorlex ('finish', c);
%! end_unwind_protect
