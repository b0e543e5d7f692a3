## Chunked reads: query with 'chunk' gives a cursor, fetch reads its rows a
## chunk at a time into what query gives for the same rows, close ends it
## early; the connection is refused to other commands while it reads; and
## the checks of the arguments.

%!shared c, c2, typed
%! c = vorlex ('connect', '');
%! c2 = vorlex ('connect', '');
%! vorlex ('exec', c, 'set timezone = ''UTC''');
%! typed = ['select i::int4 as a, i::int8 * 1000000007 as b, i / 3.0::float8 as c, ' ...
%!          'case when i % 3 = 0 then null else ''t'' || i end as d, ' ...
%!          'case when i % 5 = 0 then null else decode(md5(i::text), ''hex'') end as e, ' ...
%!          'timestamptz ''2020-01-01'' + i * interval ''1 min'' as f, ' ...
%!          'array[i, null, i + 1]::int4[] as g, array[''x'' || i, null] as h, ' ...
%!          '(i / 7.0)::numeric as n, md5(i::text)::uuid as u from generate_series(1, NROWS) i'];

%!function assert_id (err, id)
%!  if (! strcmp (err.identifier, id))
%!    error ('expected %s, got %s: %s', id, err.identifier, err.message);
%!  end
%!endfunction

%!function assert_raises (id, f)
%!  try
%!    f ();
%!  catch err
%!    assert_id (err, id);
%!    return;
%!  end
%!  error ('expected %s, nothing raised', id);
%!endfunction

%!function [chunks, infos] = fetch_all (cur, n)
%!  ## Every chunk of the cursor; each has at most N rows and only the last
%!  ## says done, with the statement's tag.
%!  chunks = {}; infos = {}; done = false;
%!  while (! done)
%!    [d, info, done] = vorlex ('fetch', cur);
%!    assert (info.rowCount <= n);
%!    assert (isempty (info.command), ! done);
%!    chunks{end+1} = d; infos{end+1} = info;
%!  end
%!endfunction

%!test
%! ## Chunks join into the whole query's columns, bit for bit, across chunk
%! ## boundaries; a result in text (point has no binary reader) alike.
%! cases = {
%! % rows   chunk  options
%!   0      7      {}
%!   1      7      {}
%!   6      7      {}
%!   7      7      {}
%!   8      7      {'keepClass', true, 'numeric', 'double', 'dates', 'text'}
%!   10007  1000   {}
%! };
%! for k = 1:rows (cases)
%!   [n, chunk, options] = cases{k, :};
%!   texts = 'select i, point(i, 1) as p, ''{1,2}''::int4[] as g from generate_series(1, NROWS) i';
%!   for sql = strrep ({typed, texts}, 'NROWS', num2str (n))
%!     [whole, wholeInfo] = vorlex ('query', c, sql{1}, options{:});
%!     cur = vorlex ('query', c, sql{1}, 'chunk', chunk, options{:});
%!     [chunks, infos] = fetch_all (cur, chunk);
%!     assert (numel (chunks), max (1, ceil (n / chunk)), sprintf ('%d rows', n));
%!     assert (infos{end}.command, wholeInfo.command);
%!     for f = fieldnames (whole)'
%!       parts = cellfun (@(d) d.(f{1}), chunks, 'UniformOutput', false);
%!       assert (isequaln (vertcat (parts{:}), whole.(f{1})), sprintf ('%d rows, %s', n, f{1}));
%!     end
%!     per_row = {'isNull', 'elementIsNull'};
%!     assert (rmfield (infos{1}.columns, per_row), rmfield (wholeInfo.columns, per_row));
%!     assert_raises ('vorlex:fetch:cursorDone', @() vorlex ('fetch', cur));
%!     vorlex ('close', cur);
%!   end
%! end

%!test
%! ## A cursor's life: its connection is refused to other commands while it
%! ## reads; close ends it early; an error mid-stream keeps the rows fetched
%! ## before; reset and finish end it; the connection is usable after each.
%! cur = vorlex ('query', c, 'select i from generate_series(1, 100000) i', 'chunk', 10);
%! assert (vorlex ('fetch', cur).i, (1:10)');
%! assert_raises ('vorlex:query:cursorOpen', @() vorlex ('query', c, 'select 1'));
%! assert_raises ('vorlex:exec:cursorOpen', @() vorlex ('exec', c, 'select 1'));
%! assert_raises ('vorlex:execText:cursorOpen', @() vorlex ('execText', c, 'select 1'));
%! assert (vorlex ('query', c2, 'select 2 as x').x, 2);
%! assert (vorlex ('status', c), 0);
%! vorlex ('close', cur);
%! assert (vorlex ('query', c, 'select 3 as x').x, 3);
%! assert_raises ('vorlex:fetch:noCursors', @() vorlex ('fetch', cur));
%! assert_raises ('vorlex:close:noCursors', @() vorlex ('close', cur));
%!
%! cur = vorlex ('query', c, 'select 1 / (i - 5000) as x from generate_series(1, 10000) i', 'chunk', 1000);
%! for k = 1:4
%!   assert (numel (vorlex ('fetch', cur).x), 1000);
%! end
%! try
%!   vorlex ('fetch', cur);
%!   error ('the division by zero was not raised');
%! catch err
%!   assert_id (err, 'vorlex:fetch:queryFailed');
%!   assert (! isempty (strfind (err.message, 'row 5000')), err.message);
%!   assert (! isempty (strfind (err.message, '22012')), err.message);
%! end
%! assert_raises ('vorlex:fetch:cursorDone', @() vorlex ('fetch', cur));
%! vorlex ('close', cur);
%! assert (vorlex ('query', c, 'select 4 as x').x, 4);
%!
%! cur = vorlex ('query', c, 'select i from generate_series(1, 100000) i', 'chunk', 10);
%! vorlex ('reset', c);
%! assert_raises ('vorlex:fetch:cursorDone', @() vorlex ('fetch', cur));
%! vorlex ('close', cur);
%! assert (vorlex ('query', c, 'select 5 as x').x, 5);
%! c3 = vorlex ('connect', '');
%! cur = vorlex ('query', c3, 'select i from generate_series(1, 100000) i', 'chunk', 10);
%! vorlex ('finish', c3);
%! assert_raises ('vorlex:fetch:cursorDone', @() vorlex ('fetch', cur));
%! vorlex ('close', cur);

%!function nargout_two (c)
%!  [d, i] = vorlex ('query', c, 'select 1', 'chunk', 5);
%!endfunction

%!test
%! ## Bad chunk sizes, a statement without rows, and handles of other kinds.
%! cases = {
%!   'vorlex:query:optionValue', {'select 1', 'chunk', 0}
%!   'vorlex:query:optionValue', {'select 1', 'chunk', -3}
%!   'vorlex:query:optionValue', {'select 1', 'chunk', 2.5}
%!   'vorlex:query:optionValue', {'select 1', 'chunk', NaN}
%!   'vorlex:query:optionValue', {'select 1', 'chunk', Inf}
%!   'vorlex:query:optionValue', {'select 1', 'chunk', [10 20]}
%!   'vorlex:query:optionValue', {'select 1', 'chunk', '10'}
%!   'vorlex:query:chunkNoRows', {'create temporary table chunked_never (a int)', 'chunk', 10}
%! };
%! for k = 1:rows (cases)
%!   [id, args] = cases{k, :};
%!   assert_raises (id, @() vorlex ('query', c, args{:}));
%! end
%! assert (isempty (vorlex ('query', c, 'select relname from pg_class where relname = ''chunked_never''').relname));
%! assert_raises ('vorlex:query:nargout', @() nargout_two (c));
%! assert_raises ('vorlex:fetch:cursorClass', @() vorlex ('fetch', 1));
%! assert_raises ('vorlex:fetch:noCursors', @() vorlex ('fetch', c));

%!test
%! vorlex ('finish', c);
%! vorlex ('finish', c2);
