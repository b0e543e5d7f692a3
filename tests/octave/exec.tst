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

%!function out = read_columns (r, format, columns)
%!  out = cell (1, numel (columns));
%!  [out{:}] = vorlex ('resultGet', r, format, columns{:});
%!endfunction

%!test
%! ## Results of exec, paramExec and execText keep their connection's types:
%! ## resultGet reads them the same after the connection is finished, and
%! ## clearing some leaves the others whole.
%! k = vorlex ('connect', '');
%! p = vorlex ('paramCreate', k);
%! vorlex ('paramPut', p, '%int4 %text', int32 (7), 'seven');
%! sql = ['select 7::int4 i, ''seven''::text t, 2.5::float8 x, 1.5::numeric n, ' ...
%!        '''\x0102''::bytea y'];
%! binary_format = '%int4 #text %float8 %numeric %bytea %timestamp %int4[]@';
%! binary_sql = [sql ', timestamp ''2000-01-02 12:00'' ts, array[1,2]::int4[] a'];
%! expected = {int32(7), {'seven'}, 2.5, {'1.5'}, {uint8([1 2])}, ...
%!             datenum(2000, 1, 2, 12, 0, 0), {int32([1; 2])}};
%! param_sql = strrep (binary_sql, '7::int4 i, ''seven''::text t', '$1 i, $2 t');
%! cases = {    # result, its format, the columns it reads
%!   vorlex('exec', k, binary_sql),          binary_format, 7
%!   vorlex('paramExec', k, p, param_sql),   binary_format, 7
%!   vorlex('execText', k, sql), '%int4 #text %float8 %numeric %bytea', 5
%!   vorlex('exec', k, binary_sql),          binary_format, 7
%! };
%! columns = {0, 't', 2, 3, 4, 5, 6};
%! before = cell (rows (cases), 1);
%! for j = 1:rows (cases)
%!   before{j} = read_columns (cases{j, 1}, cases{j, 2}, columns(1:cases{j, 3}));
%!   assert (cellfun (@(s) s.value, before{j}, 'UniformOutput', false), ...
%!           expected(1:cases{j, 3}), 1e-9);
%! end
%! vorlex ('clear', cases{1, 1});
%! vorlex ('paramClear', p);
%! vorlex ('finish', k);
%! for j = 2:rows (cases)
%!   assert (read_columns (cases{j, 1}, cases{j, 2}, columns(1:cases{j, 3})), before{j});
%!   vorlex ('clear', cases{j, 1});
%! end

%!test
%! vorlex ('finish', c);
