## Columns of cells made by the host in one pass (resultGet, copyOut) and
## cells of texts and bytes read in one pass (batchExec, copyIn): rows that
## share their storage stay independent values, cells made so go back in,
## refused elements are refused as before, and no memory is kept across
## many calls.

%!shared c
%! c = vorlex ('connect', '');
%! vorlex ('exec', c, ['create temp table hc (k int4, t text, b bytea, a int4[], ta text[]) ']);
%! vorlex ('exec', c, ['insert into hc select g, case when g % 7 = 0 then null ' ...
%!                     'when g % 5 = 0 then '''' else repeat(chr(97 + g % 3), g % 4 + 1) end, ' ...
%!                     'decode(repeat(''ab'', g % 3), ''hex''), array[g % 2, null], ' ...
%!                     'array[''x'', null, (g % 2)::text] from generate_series(1, 5000) g']);

%!function b = rss_bytes ()
%!  status = fileread ('/proc/self/status');
%!  b = str2double (regexp (status, 'VmRSS:\s*(\d+)', 'tokens', 'once'){1}) * 1024;
%!endfunction

%!function out = read_all (c, how)
%!  ## The table's columns read one way.
%!  spec = '%int4 %text %bytea %int4[] %text[]';
%!  sql = 'select k, t, b, a, ta from hc order by k';
%!  out = cell (1, 5);
%!  switch (how)
%!    case 'copyOut'
%!      [out{:}] = vorlex ('copyOut', c, sql, spec);
%!    case 'copyOut cells'
%!      [out{:}] = vorlex ('copyOut', c, sql, spec, 'columnVectors', false);
%!    case 'resultGet'
%!      r = vorlex ('exec', c, sql);
%!      [out{:}] = vorlex ('resultGet', r, spec, 0, 1, 2, 3, 4);
%!      vorlex ('clear', r);
%!  end
%!endfunction

%!test
%! ## Rows that share one array (equal neighbours, slices of one block) are
%! ## values of their own: changing one leaves the others as they were.
%! for how = {'resultGet', 'copyOut', 'copyOut cells'}
%!   out = read_all (c, how{1});
%!   t = out{2}.value;
%!   a = out{4}.value;
%!   m = out{4}.valueIsNull;
%!   k = find (cellfun ('length', t) > 1, 1);
%!   t2 = t;
%!   t2{k}(1) = 'Z';
%!   assert (isequal (t, read_all (c, how{1}){2}.value), how{1});
%!   assert (isequal (t2{k}(2:end), t{k}(2:end)) && t2{k}(1) == 'Z', how{1});
%!   ## Rows 2 and 4 are slices of one block, their masks one shared array.
%!   a{2}(1) = 99;
%!   m{2}(2) = false;
%!   assert (isequal (a{4}, int32 ([0; 0])) && isequal (a{2}, int32 ([99; 0])), how{1});
%!   assert (isequal (m{3}, logical ([0; 1])) && isequal (m{4}, logical ([0; 1])), how{1});
%! end

%!test
%! ## Cells the host made go back in as they are: texts, empty and NULL
%! ## rows, bytes, through copyIn and batchExec.
%! vorlex ('exec', c, 'create temp table hc_back (k int4, t text, b bytea)');
%! out = read_all (c, 'resultGet');
%! values = struct ('k', out{1}.value, 't', {out{2}.value}, 'b', {out{3}.value});
%! nulls = struct ('k', out{1}.rowIsNull, 't', out{2}.rowIsNull, 'b', out{3}.rowIsNull);
%! vorlex ('copyIn', c, 'hc_back', '%int4 %text %bytea', values, [], nulls);
%! vorlex ('batchExec', c, 'insert into hc_back values ($1 + 10000, $2, $3)', '%int4 %text %bytea', ...
%!         values, [], nulls);
%! r = vorlex ('exec', c, ['select count(*)::int4 from hc join hc_back b on b.k in (hc.k, hc.k + 10000) ' ...
%!                         'where b.t is not distinct from hc.t and b.b is not distinct from hc.b']);
%! s = vorlex ('resultGet', r, '%int4', 0);
%! vorlex ('clear', r);
%! assert (s.value, int32 (10000));
%! vorlex ('exec', c, 'drop table hc_back');

%!test
%! ## The host's functions of whole columns are its own: functions of the
%! ## same names on the path, here all failing, change nothing.
%! expected = {read_all(c, 'resultGet'), read_all(c, 'copyOut')};
%! dir = tempname ();
%! mkdir (dir);
%! names = {'zeros', 'false', 'num2cell', 'reshape', 'cellfun', 'mat2cell'};
%! for name = names
%!   fid = fopen (fullfile (dir, [name{1} '.m']), 'w');
%!   fprintf (fid, 'function varargout = %s (varargin)\n  error (''shadowed'');\nend\n', name{1});
%!   fclose (fid);
%! end
%! vorlex ('exec', c, 'create temp table hc_shadowed (t text)');
%! texts = expected{1}{2}.value;
%! previous = cd (dir);
%! unwind_protect
%!   got = {read_all(c, 'resultGet'), read_all(c, 'copyOut')};
%!   n = vorlex ('copyIn', c, 'hc_shadowed', '%text', struct ('t', {texts}));
%! unwind_protect_cleanup
%!   cd (previous);
%!   clear (names{:});
%!   confirm_recursive_rmdir (false, 'local');
%!   rmdir (dir, 's');
%! end_unwind_protect
%! assert (isequal (got, expected));
%! assert (n, 5000);
%! vorlex ('exec', c, 'drop table hc_shadowed');

%!test
%! ## Cell elements that are not one row of their class are refused as a
%! ## value of their own would be, wherever they stand in the column.
%! vorlex ('exec', c, 'create temp table hc_refused (t text, b bytea)');
%! cases = {
%!   '%text',  't', {'ab'; ['ab'; 'cd']},             'notRow'
%!   '%text',  't', {'ab'; reshape('abcd', 1, 2, 2)},  'notRow'
%!   '%text',  't', {'ab'; 7},                         'wrongClass'
%!   '%text',  't', {'ab'; {'x'}},                     'wrongClass'
%!   '%text',  't', {['a' 0 'b']; 'c'},                'textHasNul'
%!   '%bytea', 'b', {uint8([1 2]); uint8([1; 2])},     'notRow'
%!   '%bytea', 'b', {uint8(1); 'x'},                   'wrongClass'
%! };
%! for k = 1:rows (cases)
%!   for command = {'copyIn', 'batchExec'}
%!     if (strcmp (command{1}, 'copyIn'))
%!       target = sprintf ('hc_refused (%s)', cases{k, 2});
%!     else
%!       target = sprintf ('insert into hc_refused (%s) values ($1)', cases{k, 2});
%!     end
%!     id = sprintf ('vorlex:%s:%s', command{1}, cases{k, 4});
%!     try
%!       vorlex (command{1}, c, target, cases{k, 1}, struct ('x', {cases{k, 3}}));
%!       err = struct ('identifier', 'none', 'message', 'nothing was raised');
%!     catch err
%!     end_try_catch
%!     assert (strcmp (err.identifier, id), sprintf ('case %d: expected %s: %s', k, id, err.message));
%!   end
%! end
%! r = vorlex ('exec', c, 'select count(*)::int4 from hc_refused');
%! s = vorlex ('resultGet', r, '%int4', 0);
%! vorlex ('clear', r);
%! assert (s.value, int32 (0));
%! vorlex ('exec', c, 'drop table hc_refused');

%!test
%! ## Many calls keep no memory: the cells are freed with the outputs, also
%! ## when a later column of the same call fails.  A leak of one call's
%! ## cells would grow the process by megabytes each time.
%! vorlex ('exec', c, 'create temp table hc_in (t text)');
%! texts = {'first'; ''; 'third one'};
%! texts = texts(mod (0:29999, 3)' + 1);
%! calls = {
%!   @() read_all (c, 'resultGet')
%!   @() read_all (c, 'copyOut')
%!   @() read_all (c, 'copyOut cells')
%!   @() vorlex ('copyIn', c, 'hc_in', '%text', struct ('t', {texts}))
%! };
%! r = vorlex ('exec', c, 'select t, k from hc');
%! for round = 1:23
%!   if (round == 4)
%!     before = rss_bytes ();
%!   end
%!   for k = 1:numel (calls)
%!     calls{k}();
%!   end
%!   try
%!     [s1, s2] = vorlex ('resultGet', r, '%text %text', 0, 1);
%!     error ('the second column was read');
%!   catch err
%!     assert (err.identifier, 'vorlex:resultGet:typeMismatch');
%!   end_try_catch
%!   vorlex ('exec', c, 'truncate hc_in');
%! end
%! growth = rss_bytes () - before;
%! vorlex ('clear', r);
%! assert (growth < 4e6, sprintf ('the process grew by %.1f MB over 20 rounds', growth / 1e6));
