## Running SQL: exec (binary results through libpqtypes) and execText
## (plain libpq, text results).

%!shared c
%! c = vorlex ('connect', '');

%!test
%! ## Without an output the statement runs for its effect only.
%! vorlex ('exec', c, 'create temp table runs (a int4)');
%! vorlex ('exec', c, 'insert into runs values (1), (2)');
%! r = vorlex ('exec', c, 'select count(*) from runs');
%! assert (class (r), 'uint32');
%! assert (vorlex ('resultStatus', r), 2);
%! vorlex ('clear', r);
%! r = vorlex ('execText', c, 'select a from runs');
%! assert (vorlex ('cmdTuples', r), '2');
%! vorlex ('clear', r);
%! ## An empty query (one blank row) is accepted; '' has no row and is not.
%! r = vorlex ('exec', c, ' ');
%! assert (vorlex ('resultStatus', r), 0);
%! vorlex ('clear', r);

%!test
%! ## A failing statement: exec raises the server's message and leaves no
%! ## result; execText returns a result whose status is 7.
%! try
%!   r = vorlex ('exec', c, 'selec 1');
%!   error ('exec should have failed');
%! catch err
%!   assert (err.identifier, 'vorlex:exec:queryFailed');
%!   assert (! isempty (strfind (err.message, 'PGresult: ')));
%!   assert (! isempty (strfind (err.message, 'syntax error')));
%! end_try_catch
%! assert (! exist ('r', 'var'));
%! try
%!   vorlex ('clear', uint32 (4e9));
%!   error ('clear of a result that was never made passed');
%! catch err
%!   assert (err.identifier, 'vorlex:clear:noResults');
%! end_try_catch
%! r = vorlex ('execText', c, 'selec 1');
%! assert (vorlex ('resultStatus', r), 7);
%! vorlex ('clear', r);
%! ## The connection is fine afterwards.
%! vorlex ('exec', c, 'select 1');

%!test
%! ## COPY through exec is refused: its status is none exec accepts.
%! vorlex ('exec', c, 'create temp table copied (a int4)');
%! try
%!   vorlex ('exec', c, 'copy copied to stdout');
%!   error ('exec of COPY should have failed');
%! catch err
%!   assert (err.identifier, 'vorlex:exec:queryFailed');
%! end_try_catch

%!test
%! ## execText takes the text in column-major order, whatever its shape;
%! ## without one output its result is cleared.
%! vorlex ('execText', c, 'create temp table shaped (a int4)');
%! sql = 'insert into shaped values (7) ';
%! r = vorlex ('execText', c, reshape (sql, 2, []));
%! assert (vorlex ('resultStatus', r), 1);
%! assert (vorlex ('cmdTuples', r), '1');
%! vorlex ('clear', r);

%!test
%! ## Argument checks, each with its own identifier, before the server is
%! ## contacted.
%! r = vorlex ('exec', c, 'select 1');
%! checks = {
%!   @() vorlex ('exec', c),                 'vorlex:exec:nargin'
%!   @() vorlex ('exec', c, 'select 1', 1),  'vorlex:exec:nargin'
%!   @() vorlex ('exec', int32 (c), 'select 1'), 'vorlex:exec:connectionClass'
%!   @() vorlex ('exec', r, 'select 1'),     'vorlex:exec:unknownConnection'
%!   @() vorlex ('exec', c, 5),              'vorlex:exec:sqlNotText'
%!   @() vorlex ('exec', c, ''),             'vorlex:exec:sqlNotText'
%!   @() vorlex ('exec', c, ['select 1'; 'select 2']), 'vorlex:exec:sqlNotText'
%!   @() vorlex ('exec', c, ['delete from x' char(0) ' where false']), 'vorlex:exec:sqlHasNul'
%!   @() vorlex ('execText', c),             'vorlex:execText:nargin'
%!   @() vorlex ('execText', 'c', 5),        'vorlex:execText:connectionClass'
%!   @() vorlex ('execText', c, 5),          'vorlex:execText:sqlNotChar'
%!   @() vorlex ('execText', [c; c], 'select 1'), 'vorlex:execText:connectionRows'
%!   @() vorlex ('execText', r, 'select 1'), 'vorlex:execText:unknownConnection'
%!   @() vorlex ('execText', c, ['select 1' char(0) '; drop table x']), 'vorlex:execText:sqlHasNul'
%! };
%! for k = 1:rows (checks)
%!   try
%!     checks{k, 1} ();
%!     error ('check %d passed', k);
%!   catch err
%!     assert (err.identifier, checks{k, 2});
%!   end_try_catch
%! end
%! try
%!   [a, b] = vorlex ('exec', c, 'select 1');
%!   error ('two outputs accepted');
%! catch err
%!   assert (err.identifier, 'vorlex:exec:nargout');
%! end_try_catch
%! vorlex ('clear', r);

%!test
%! vorlex ('finish', c);
