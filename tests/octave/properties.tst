## Property queries of connections and results, against what the server
## and libpq report.

%!shared c
%! c = vorlex ('connect', '');

%!test
%! ## Connection properties: what the PG* variables asked for.
%! expect = struct ('db', 'PGDATABASE', 'user', 'PGUSER', 'port', 'PGPORT', ...
%!                  'host', 'PGHOST', 'pass', 'PGPASSWORD');
%! for [variable, command] = expect
%!   if (! isempty (getenv (variable)))
%!     assert (vorlex (command, c), getenv (variable), command);
%!   end
%! end
%! r = vorlex ('exec', c, 'select current_database (), current_user');
%! vorlex ('clear', r);
%! text = vorlex ('execText', c, 'show port');
%! assert (vorlex ('resultStatus', text), 2);
%! vorlex ('clear', text);
%! assert (ischar (vorlex ('options', c)));
%! assert (vorlex ('errorMessage', c), '');

%!test
%! ## Results: status, command status and tuples, binary or text format.
%! vorlex ('exec', c, 'create temp table props (a int4)');
%! r = vorlex ('exec', c, 'insert into props values (1), (2), (3)');
%! assert (vorlex ('resultStatus', r), 1);
%! assert (vorlex ('cmdTuples', r), '3');
%! assert (vorlex ('cmdStatus', r), 'INSERT 0 3');
%! assert (vorlex ('resultErrorMessage', r), '');
%! vorlex ('clear', r);
%! r = vorlex ('exec', c, 'select a from props where a > 1');
%! assert (vorlex ('resultStatus', r), 2);
%! assert (vorlex ('cmdTuples', r), '2');
%! assert (vorlex ('binaryTuples', r), true);
%! vorlex ('clear', r);
%! r = vorlex ('execText', c, 'select a from props');
%! assert (vorlex ('binaryTuples', r), false);
%! assert (class (vorlex ('binaryTuples', r)), 'logical');
%! vorlex ('clear', r);
%! r = vorlex ('exec', c, 'drop table props');
%! assert (vorlex ('cmdTuples', r), '');
%! vorlex ('clear', r);

%!test
%! ## A failed statement: its text in the result and on the connection.
%! r = vorlex ('execText', c, 'select * from no_such_table');
%! assert (vorlex ('resultStatus', r), 7);
%! assert (! isempty (strfind (vorlex ('resultErrorMessage', r), 'no_such_table')));
%! assert (! isempty (strfind (vorlex ('errorMessage', c), 'no_such_table')));
%! vorlex ('clear', r);

%!test
%! ## Handles: of the wrong kind, released, in a column (refused) or a row
%! ## (first element used); outputs are given even without a variable.
%! r = vorlex ('exec', c, 'select 1');
%! checks = {
%!   @() vorlex ('db', r),              'vorlex:db:unknownConnection'
%!   @() vorlex ('cmdStatus', c),       'vorlex:cmdStatus:unknownResult'
%!   @() vorlex ('db'),                 'vorlex:db:nargin'
%!   @() vorlex ('user', c, c),         'vorlex:user:nargin'
%!   @() vorlex ('port', double (c)),   'vorlex:port:connectionClass'
%!   @() vorlex ('host', [c; c]),       'vorlex:host:connectionRows'
%!   @() vorlex ('resultStatus', [r; r]), 'vorlex:resultStatus:resultRows'
%!   @() vorlex ('binaryTuples', zeros (1, 0, 'uint32')), 'vorlex:binaryTuples:resultEmpty'
%! };
%! for k = 1:rows (checks)
%!   try
%!     checks{k, 1} ();
%!     error ('check %d passed', k);
%!   catch err
%!     assert (err.identifier, checks{k, 2});
%!   end_try_catch
%! end
%! assert (vorlex ('resultStatus', [r, c]), 2);
%! assert (! isempty (strfind (evalc ('vorlex (''db'', c)'), 'ans = ')));
%! vorlex ('clear', r);
%! try
%!   vorlex ('cmdTuples', r);
%!   error ('a cleared result was accepted');
%! catch err
%!   assert (any (strcmp (err.identifier, {'vorlex:cmdTuples:noResults', ...
%!                                         'vorlex:cmdTuples:unknownResult'})));
%! end_try_catch

%!test
%! vorlex ('finish', c);
