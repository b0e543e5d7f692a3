## copyIn: rows streamed into a table by COPY ... FROM STDIN in binary.
## Every type and column form against batchExec of the same values, NULLs,
## rows the server refuses, values refused on the client while the stream
## runs, the argument checks, transactions, and streams of many chunks.

%!shared c
%! c = vorlex ('connect', '');
%! vorlex ('exec', c, 'set timezone = ''UTC''');

%!function assert_id (err, id)
%!  ## ERR carries the identifier ID (its message shown if not).
%!  if (! strcmp (err.identifier, id))
%!    error ('expected %s, got %s: %s', id, err.identifier, err.message);
%!  end
%!endfunction

%!function err = copy_error (id, varargin)
%!  try
%!    vorlex ('copyIn', varargin{:});
%!  catch err
%!    assert_id (err, id);
%!    return;
%!  end_try_catch
%!  error ('no error, expected %s', id);
%!endfunction

%!function v = value_of (c, sql)
%!  ## The first value of SQL's result, read by getValue; SQL must succeed.
%!  r = vorlex ('execText', c, sql);
%!  unwind_protect
%!    if (vorlex ('resultStatus', r) != 2)
%!      error ('%s: %s', sql, vorlex ('resultErrorMessage', r));
%!    end
%!    v = vorlex ('getValue', r, 0, 0);
%!  unwind_protect_cleanup
%!    vorlex ('clear', r);
%!  end_unwind_protect
%!endfunction

%!function n = count_of (c, sql)
%!  n = double (value_of (c, sql));
%!endfunction

%!function assert_untouched (c, table, n)
%!  ## TABLE holds N rows, the connection is idle (no COPY or transaction
%!  ## left open) and takes the next statement.
%!  assert (count_of (c, ['select count(*) from ' table]), n);
%!  assert (count_of (c, 'select (now() = statement_timestamp())::int4'), 1);
%!  assert (count_of (c, 'select 41 + 1'), 42);
%!endfunction

%!function assert_row_message (err, row)
%!  ## A message that starts with its row ("row R: ..."), after the
%!  ## module's own prefix.
%!  assert (! isempty (regexp (err.message, sprintf ('^(vorlex: )?row %d: ', row), 'once')), ...
%!          err.message);
%!endfunction

%!function twin_load (c, columns, format, values, elementNulls, valueNulls)
%!  ## COLUMNS is an n-by-2 cell of column names and types.  Makes the
%!  ## tables ci_copy and ci_batch (k serial, then COLUMNS), loads VALUES
%!  ## into ci_copy by copyIn (the target naming the columns) and into
%!  ## ci_batch by batchExec, and checks that both hold the same rows in the
%!  ## same order: every column compared by its text on the server.
%!  names = columns(:,1)';
%!  list = strjoin (names, ', ');
%!  defs = strjoin (strcat (columns(:,1), {' '}, columns(:,2))', ', ');
%!  f = fieldnames (values);
%!  m = size (values.(f{1}), 1);
%!  vorlex ('exec', c, sprintf ('create temp table ci_copy (k serial primary key, %s)', defs));
%!  vorlex ('exec', c, sprintf ('create temp table ci_batch (k serial primary key, %s)', defs));
%!  unwind_protect
%!    n = vorlex ('copyIn', c, ['ci_copy (' list ')'], format, values, elementNulls, valueNulls);
%!    assert (class (n), 'double');
%!    assert (n, m);
%!    params = strjoin (arrayfun (@(j) sprintf ('$%d', j), 1:numel (names), 'UniformOutput', false), ', ');
%!    vorlex ('batchExec', c, sprintf ('insert into ci_batch (%s) values (%s)', list, params), ...
%!            format, values, elementNulls, valueNulls);
%!    assert (count_of (c, 'select count(*) from ci_copy'), m);
%!    assert (count_of (c, 'select count(*) from ci_batch'), m);
%!    for j = 1:numel (names)
%!      x = ['x.' names{j}];
%!      y = ['y.' names{j}];
%!      sql = sprintf (['select coalesce(string_agg(format(''row %%s: %%s | %%s'', k, %s, %s), ''; ''), '''') ' ...
%!                      'from ci_copy x full join ci_batch y using (k) ' ...
%!                      'where %s::text is distinct from %s::text'], x, y, x, y);
%!      differences = value_of (c, sql);
%!      assert (isempty (differences), sprintf ('%s (copyIn | batchExec): %s', names{j}, differences));
%!    end
%!  unwind_protect_cleanup
%!    vorlex ('exec', c, 'drop table if exists ci_copy, ci_batch');
%!  end_unwind_protect
%!endfunction


%!test
%! ## Scalars of all 21 types in several column forms (logical, numeric and
%! ## cell columns, char and uint8 matrices), with NULL values from both
%! ## structs, against batchExec of the same columns.
%! m = 6;
%! long = repmat ('0123456789', 1, 10000);
%! columns = {
%!   'b',   'bool',        '%bool'
%!   'by',  'bytea',       '%bytea'
%!   'by2', 'bytea',       '%bytea'
%!   'nm',  'name',        '%name'
%!   'tx',  'text',        '%text'
%!   'tx2', 'text',        '%text'
%!   'js',  'json',        '%json'
%!   'xm',  'xml',         '%xml'
%!   'bp',  'bpchar',      '%bpchar'
%!   'vc',  'varchar',     '%varchar'
%!   'nu',  'numeric',     '%numeric'
%!   'i2',  'int2',        '%int2'
%!   'i4',  'int4',        '%int4'
%!   'i4c', 'int4',        '%int4'
%!   'i8',  'int8',        '%int8'
%!   'f4',  'float4',      '%float4'
%!   'f8',  'float8',      '%float8'
%!   'd',   'date',        '%date'
%!   'tm',  'time',        '%time'
%!   'tz',  'timetz',      '%timetz'
%!   'ts',  'timestamp',   '%timestamp'
%!   'tsz', 'timestamptz', '%timestamptz'
%!   'sb',  'bytea',       '%serbytea'
%!   'sw',  'bytea',       '%serbytea_wn'
%! };
%! v.b   = logical ([1; 0; 1; 1; 0; 1]);
%! v.by  = uint8 ([0 1 255; 10 11 12; 13 14 15; 92 46 10; 0 0 0; 255 254 253]);
%! v.by2 = {uint8([1 2 3]); uint8([]); uint8(255); uint8(0:255); zeros(1, 0, 'uint8'); uint8(10)};
%! v.nm  = {'n1'; ''; 'nä'; repmat('x', 1, 63); 'NULL'; 'b c'};
%! v.tx  = ['ab de'; 'x  y '; '\.   '; 'a,b"c'; '\N{}('; '     '];
%! v.tx2 = {'h€llo'; ''; long; 'NULL'; sprintf('tab\there\nnewline\r'); '\.'};
%! v.js  = {'{"a": [1, 2]}'; '[]'; 'null'; '"s"'; '1.5'; '{}'};
%! v.xm  = {'<a>x</a>'; '<b/>'; 'plain text'; '<c d="e"/>'; '<e></e>'; '<x>ä</x>'};
%! v.bp  = ['ab  '; 'cd e'; ' x  '; 'abcd'; '    '; 'z   '];
%! v.vc  = {'v w'; ''; 'ä'; 'x'; long; 'z'};
%! v.nu  = {'1.50'; '-0.001'; 'NaN'; '123456789012345678901234567890.1234567890'; '0'; '-Infinity'};
%! v.i2  = int16 ([-32768; 0; 32767; 1; -1; 7]);
%! v.i4  = [2.7; -1.9; 2147483647; -2147483648; 0; 42];
%! v.i4c = {int32(1); 2; int32(-3); 4.9; int32(5); 6};
%! v.i8  = int64 ([intmax('int64'); intmin('int64'); 0; -1; 1; 2^53 + 1]);
%! v.f4  = single ([1.5; -Inf; NaN; 0.1; 3.4e38; -0]);
%! v.f8  = [-0.125; NaN; 1e300; Inf; -Inf; 5e-324];
%! v.d   = 730486 + [0; 1; -365; 10000.9; -730000; 2];
%! v.tm  = [0; 0.25; 0.5; 0.75; 0.99998; 1/86400];
%! v.tz  = [0.125; 0; 0.5; 0.999; 0.3; 0.7];
%! v.ts  = 730486.5 + [0; 1.25; -10000; 0.5; 3; 20000.125];
%! v.tsz = datenum (2024, 2, 29, 18, 0, 0) + [0; 0.5; -1; 2.25; 100; -10000];
%! v.sb  = {struct('a', {1, 'two'}, 'b', {{3}, int8([4 5])}); {1, 'x'; [], {true}}; magic(4); ...
%!          single(1:3) + 2i; 'text'; zeros(0, 3, 'uint16')};
%! v.sw  = {[1 2]; 'skipped'; {3}; int8(4); true; []};
%! assert (fieldnames (v)', columns(:,1)');
%! e = structfun (@(x) false (m, 1), v, 'UniformOutput', false);
%! e.b(2) = true;
%! e.tx(5) = true;
%! e.tx2(4) = true;
%! e.i4(5) = true;
%! e.i4c(1) = true;
%! e.f8(3) = true;
%! e.by2(6) = true;
%! e.nm(1) = true;
%! n = structfun (@(x) false (m, 1), v, 'UniformOutput', false);
%! n.by(3) = true;
%! n.xm(5) = true;
%! n.nu(6) = true;
%! n.d(4) = true;
%! n.tsz(1) = true;
%! n.sw([2 5]) = true;
%! n.js(4) = true;
%! n.i8(6) = true;
%! n.bp(1) = true;
%! n.tm(6) = true;
%! n.tz(2) = true;
%! n.ts(3) = true;
%! n.f4(1) = true;
%! n.vc(2) = true;
%! format = strjoin (columns(:,3)', ' ');
%! twin_load (c, columns(:,1:2), format, v, e, n);
%! twin_load (c, columns(:,1:2), format, v, [], n);
%! twin_load (c, columns(:,1:2), format, v, e, []);
%! twin_load (c, columns(:,1:2), format, v, [], []);
%! ## One row, and all rows NULL.
%! one = structfun (@(x) x(1,:), v, 'UniformOutput', false);
%! twin_load (c, columns(:,1:2), format, one, [], []);
%! all_null = structfun (@(x) true (m, 1), v, 'UniformOutput', false);
%! all_null.sb(:) = false;
%! twin_load (c, columns(:,1:2), format, v, [], all_null);

%!test
%! ## Arrays of all 21 element types: M-by-K and M-by-d2-by-d3 columns with
%! ## and without "@", cell columns of arrays and of cells, element masks
%! ## in both forms, whole arrays NULL, empty arrays.
%! columns = {
%!   'ai',   'int4[]',        '%int4[]@'
%!   'ai3',  'int4[]',        '%int4[]'
%!   'ai3f', 'int4[]',        '%int4[]@'
%!   'ab',   'bool[]',        '%bool[]'
%!   'ai2',  'int2[]',        '%int2[]'
%!   'ai8',  'int8[]',        '%int8[]@'
%!   'af4',  'float4[]',      '%float4[]'
%!   'af8',  'float8[]',      '%float8[]'
%!   'ad',   'date[]',        '%date[]'
%!   'atm',  'time[]',        '%time[]@'
%!   'atz',  'timetz[]',      '%timetz[]'
%!   'ats',  'timestamp[]',   '%timestamp[]'
%!   'atsz', 'timestamptz[]', '%timestamptz[]'
%!   'an',   'name[]',        '%name[]'
%!   'at',   'text[]',        '%text[]'
%!   'aj',   'json[]',        '%json[]'
%!   'ax',   'xml[]',         '%xml[]'
%!   'abp',  'bpchar[]',      '%bpchar[]'
%!   'avc',  'varchar[]',     '%varchar[]@'
%!   'anu',  'numeric[]',     '%numeric[]'
%!   'aby',  'bytea[]',       '%bytea[]'
%!   'asb',  'bytea[]',       '%serbytea[]'
%!   'asw',  'bytea[]',       '%serbytea_wn[]'
%! };
%! a3 = zeros (4, 2, 3, 'int32');
%! for r = 1:4
%!   for j = 1:2
%!     for k = 1:3
%!       a3(r,j,k) = 100 * r + 10 * j + k;
%!     end
%!   end
%! end
%! m3 = false (4, 2, 3);
%! m3(2,1,3) = true;
%! m3(4,:,:) = true;
%! v.ai   = [1 2 3; 4 5 6; 7 8 9; -1 0 2147483647];
%! v.ai3  = a3;
%! v.ai3f = a3;
%! v.ab   = logical ([1 0; 0 1; 1 1; 0 0]);
%! v.ai2  = {int16([1 2 3]); int16([4; 5]); []; int16(magic(3))};
%! v.ai8  = int64 ([intmax('int64') 0 -1; 1 2 3; 4 5 6; intmin('int64') 7 8]);
%! v.af4  = single ([0.5 -Inf; NaN 1.5; 2 3; 4 5]);
%! v.af8  = {[NaN 1e300]; []; [-Inf; 0.5]; reshape(1:8, 2, 2, 2)};
%! v.ad   = 730486 + [0 1; 2 3; -1000 5000; 7 8];
%! v.atm  = [0 0.25; 0.5 0.75; 0.1 0.2; 0.3 0.4];
%! v.atz  = [0.75; 0; 0.5; 0.25];
%! v.ats  = 730486 + [0.25 0.5; 1 2; 3.125 4; 5 6];
%! v.atsz = datenum (2024, 2, 29) + [0.25 0.5; 1 2; 3.125 4; 5 6];
%! v.an   = {{'a', 'b'}; {'c'}; {}; {'d'; 'e'}};
%! v.at   = {{'a', 'b c'}; {''; 'NULL'}; {}; {'{', '"q"', '\', sprintf('x\ny')}};
%! v.aj   = {{'{"a":1}', '[1]'}; {'null'}; {'1'}; {'"x"'}};
%! v.ax   = {{'<x/>'}; {'<a>b</a>', 't'}; {'<y/>'}; {'z'}};
%! v.abp  = {{'ab'}; {'c '}; {'d'}; {'e', 'f'}};
%! v.avc  = {{'v w', 'x'; 'y', 'z'}; {'a'}; {}; {'b'}};
%! v.anu  = {{'1.50', '-0.001'}; {'NaN'}; {'2'; '3'}; {'1e-20'}};
%! v.aby  = {{uint8([1 2]), uint8([])}; {uint8(255)}; {}; {uint8(0:10)}};
%! v.asb  = {{1, 'two'}; {[]}; {{}}; {struct('a', 1)}};
%! v.asw  = {{[1 2], 'b'; {3}, []}; {1}; {'x', 'y'}; {int8(1)}};
%! assert (fieldnames (v)', columns(:,1)');
%! e = struct ();
%! for f = fieldnames (v)'
%!   if (iscell (v.(f{1})))
%!     e.(f{1}) = cellfun (@(x) false (size (x)), v.(f{1}), 'UniformOutput', false);
%!   else
%!     e.(f{1}) = false (size (v.(f{1})));
%!   end
%! end
%! e.ai = logical ([0 1 0; 0 0 0; 1 1 1; 0 0 1]);
%! e.ai3 = m3;
%! e.ai3f = m3;
%! e.ab(3,2) = true;
%! e.ai2{1}(2) = true;
%! e.ai2{4}(2,3) = true;
%! e.af4(2,1) = true;
%! e.af8{4}(1,2,2) = true;
%! e.ad(1,1) = true;
%! e.atm(4,:) = true;
%! e.atz(3) = true;
%! e.ats(2,2) = true;
%! e.atsz(1,2) = true;
%! e.an{4}(2) = true;
%! e.at{1}(1) = true;
%! e.at{4}(3) = true;
%! e.aj{1}(2) = true;
%! e.ax{2}(1) = true;
%! e.abp{4}(2) = true;
%! e.avc{1}(2,1) = true;
%! e.anu{3}(1) = true;
%! e.aby{1}(2) = true;
%! e.asw{1}(2,1) = true;
%! e.asw{3}(2) = true;
%! n = structfun (@(x) false (4, 1), v, 'UniformOutput', false);
%! n.ai(2) = true;
%! n.ai3(3) = true;
%! n.an(3) = true;
%! n.anu(4) = true;
%! n.aby(1) = true;
%! n.asw(4) = true;
%! n.af8(2) = true;
%! n.ab(1) = true;
%! n.ad(4) = true;
%! n.aj(2) = true;
%! format = strjoin (columns(:,3)', ' ');
%! twin_load (c, columns(:,1:2), format, v, e, n);
%! twin_load (c, columns(:,1:2), format, v, [], []);
%! ## A few of the values spelled out, so that both commands are not just
%! ## equally wrong.
%! vorlex ('exec', c, ['create temp table ci_arrays (k serial, ai int4[], ai3 int4[], at text[], ' ...
%!                     'anu numeric[], asw bytea[])']);
%! vorlex ('copyIn', c, 'ci_arrays (ai, ai3, at, anu, asw)', '%int4[]@ %int4[] %text[] %numeric[] %serbytea_wn[]', ...
%!         struct ('ai', v.ai, 'ai3', v.ai3, 'at', {v.at}, 'anu', {v.anu}, 'asw', {v.asw}), ...
%!         struct ('ai', e.ai, 'ai3', e.ai3, 'at', {e.at}, 'anu', {e.anu}, 'asw', {e.asw}), ...
%!         struct ('ai', n.ai, 'ai3', n.ai3, 'at', n.at, 'anu', n.anu, 'asw', n.asw));
%! assert (value_of (c, 'select string_agg(coalesce(ai::text, ''-''), '';'' order by k) from ci_arrays'), ...
%!         '{1,NULL,3};-;{NULL,NULL,NULL};{-1,0,NULL}');
%! assert (value_of (c, 'select ai3::text from ci_arrays where k = 2'), ...
%!         '{{{211,212,NULL},{221,222,223}}}');
%! assert (value_of (c, 'select ai3::text from ci_arrays where k = 4'), ...
%!         '{{{NULL,NULL,NULL},{NULL,NULL,NULL}}}');
%! assert (value_of (c, 'select string_agg(at::text, '';'' order by k) from ci_arrays'), ...
%!         ['{{NULL,"b c"}};{{""},{"NULL"}};{};{{"{","\"q\"",NULL,"x' char(10) 'y"}}']);
%! assert (value_of (c, 'select string_agg(coalesce(anu::text, ''-''), '';'' order by k) from ci_arrays'), ...
%!         '{{1.50,-0.001}};{{NaN}};{{NULL},{3}};-');
%! r = vorlex ('exec', c, 'select asw from ci_arrays order by k');
%! s = vorlex ('resultGet', r, '%serbytea_wn[]', 0);
%! vorlex ('clear', r);
%! assert (s.rowIsNull, [false; false; false; true]);
%! assert (s.valueIsNull(1:3), {logical([0 0; 1 0]); false; logical([0 1])});
%! assert (s.value{1}([1 3 4]), {[1 2], 'b', []});
%! assert (s.value{3}(1), {'x'});
%! vorlex ('exec', c, 'drop table ci_arrays');

%!test
%! ## The target: schema-qualified, quoted names, a column list in any
%! ## order, columns left out taking their defaults.
%! vorlex ('exec', c, ['create temp table "Ci Target" (k serial, "Col A" int4, b text, ' ...
%!                     'd text default ''dflt'', e int4)']);
%! unwind_protect
%!   n = vorlex ('copyIn', c, 'pg_temp."Ci Target" (b, "Col A")', '%text %int4', ...
%!               struct ('x', {{'one'; 'two'; 'three'}}, 'y', int32 ([1; 2; 3])));
%!   assert (n, 3);
%!   assert (value_of (c, ['select string_agg(format(''%s:%s:%s:%s:%s'', k, "Col A", b, d, ' ...
%!                         'coalesce(e, -1)), '','' order by k) from "Ci Target"']), ...
%!           '1:1:one:dflt:-1,2:2:two:dflt:-1,3:3:three:dflt:-1');
%!   ## Every column, in the table's order, when no list is given.
%!   n = vorlex ('copyIn', c, '"Ci Target"', '%int4 %int4 %text %text %int4', ...
%!               struct ('k', int32 (10), 'a', int32 (20), 'b', 'x', 'd', 'y', 'e', int32 (30)));
%!   assert (n, 1);
%!   assert (value_of (c, 'select format(''%s:%s:%s:%s:%s'', k, "Col A", b, d, e) from "Ci Target" where k = 10'), ...
%!           '10:20:x:y:30');
%! unwind_protect_cleanup
%!   vorlex ('exec', c, 'drop table "Ci Target"');
%! end_unwind_protect

%!test
%! ## Rows the server refuses, among 10,000: the error names the row the
%! ## server names, nothing of the COPY is kept, and the connection goes on.
%! vorlex ('exec', c, 'create temp table ci_uniq (k int4 primary key check (k <> 0), t text not null)');
%! vorlex ('exec', c, 'insert into ci_uniq values (-1, ''kept'')');
%! m = 10000;
%! t = repmat ('abc', m, 1);
%! k = int32 ((1:m)');
%! k(5000) = 17;
%! err = copy_error ('vorlex:copyIn:rowFailed', c, 'ci_uniq', '%int4 %text', struct ('k', k, 't', t));
%! assert (! isempty (regexp (err.message, '\<row 5000\>', 'once')), err.message);
%! assert (! isempty (strfind (err.message, 'ci_uniq_pkey')), err.message);
%! assert (! isempty (strfind (err.message, 'duplicate key')), err.message);
%! assert_untouched (c, 'ci_uniq', 1);
%! ## In the first row (against the row already there), in the last row, a
%! ## check constraint, a NULL where none may be; a check in row 1 of
%! ## 2,000,000 whose row 1,900,000 holds a NUL, refused only as it is
%! ## encoded: the server's refusal ends the stream before that row.
%! big = 2000000;
%! nul_t = repmat ('abc', big, 1);
%! nul_t(1900000,2) = char (0);
%! cases = {
%!   1,    struct('k', [-1; 2],                  't', ['ab'; 'cd']),   [],                 'ci_uniq_pkey'
%!   1,    struct('k', [0; (2:big)'],            't', nul_t),          [],                 '23514 (check_violation)'
%!   m,    struct('k', [(1:m-1)'; 3],            't', t),              [],                 'ci_uniq_pkey'
%!   7321, struct('k', [(1:7320)'; 0; 7322],     't', t(1:7322,:)),    [],                 'ci_uniq_k_check'
%!   9999, struct('k', (1:m)',                   't', t),              struct('k', false(m, 1), 't', (1:m)' == 9999), 'not-null'
%! };
%! for j = 1:rows (cases)
%!   err = copy_error ('vorlex:copyIn:rowFailed', c, 'ci_uniq', '%int4 %text', cases{j,2}, [], cases{j,3});
%!   assert (! isempty (regexp (err.message, sprintf ('\\<row %d\\>', cases{j,1}), 'once')), err.message);
%!   assert (! isempty (strfind (err.message, cases{j,4})), err.message);
%!   assert_untouched (c, 'ci_uniq', 1);
%! end
%! ## Without the bad row the same rows are kept whole.
%! k(5000) = 5000;
%! assert (vorlex ('copyIn', c, 'ci_uniq', '%int4 %text', struct ('k', k, 't', t)), m);
%! assert_untouched (c, 'ci_uniq', m + 1);
%! assert (count_of (c, 'select sum(k) from ci_uniq'), m * (m + 1) / 2 - 1);
%! vorlex ('exec', c, 'drop table ci_uniq');

%!test
%! ## Refusals: a missing table or column, a view, a target that is not
%! ## one; formats that do not fit the table (too many or too few
%! ## specifiers, another type); values the column refuses (too long, not
%! ## UTF-8); a trigger, a foreign key, a unique check deferred to the end
%! ## of the transaction.
%! vorlex ('exec', c, 'create temp table ci_refused (a int8, b text)');
%! vorlex ('exec', c, 'create temp view ci_view as select * from ci_refused');
%! vorlex ('exec', c, 'insert into ci_refused values (1, ''one'')');
%! s = struct ('a', int64 ([2; 3]), 'b', {{'two'; 'three'}});
%! err = copy_error ('vorlex:copyIn:copyFailed', c, 'ci_no_such_table', '%int8 %text', s);
%! assert (! isempty (strfind (err.message, 'ci_no_such_table')), err.message);
%! assert (isempty (regexp (err.message, 'row \d', 'once')), err.message);
%! assert_untouched (c, 'ci_refused', 1);
%! err = copy_error ('vorlex:copyIn:copyFailed', c, 'ci_refused (a, nope)', '%int8 %text', s);
%! assert (! isempty (strfind (err.message, 'nope')), err.message);
%! assert_untouched (c, 'ci_refused', 1);
%! copy_error ('vorlex:copyIn:copyFailed', c, 'ci_view', '%int8 %text', s);
%! assert_untouched (c, 'ci_refused', 1);
%! copy_error ('vorlex:copyIn:copyFailed', c, 'ci_refused; drop table ci_refused', '%int8 %text', s);
%! assert_untouched (c, 'ci_refused', 1);
%! ## Three fields for a table of two columns, one for two; int4 for an
%! ## int8 column: refused before the COPY starts, naming no row.
%! cases = {
%!   'columnCount',  '%int8 %text %int4', struct('a', int64([2; 3]), 'b', {{'two'; 'three'}}, 'c', int32([1; 2])), '3 specifier'
%!   'columnCount',  '%int8',             struct('a', int64([2; 3])),                                             '1 specifier'
%!   'typeMismatch', '%int4 %text',       struct('a', int32([2; 3]), 'b', {{'two'; 'three'}}),                    'column a of ci_refused is bigint'
%! };
%! for j = 1:rows (cases)
%!   err = copy_error (['vorlex:copyIn:' cases{j,1}], c, 'ci_refused', cases{j,2}, cases{j,3});
%!   assert (isempty (regexp (err.message, 'row \d', 'once')), err.message);
%!   assert (! isempty (strfind (err.message, cases{j,4})), err.message);
%!   assert_untouched (c, 'ci_refused', 1);
%! end
%! ## Values the column's type refuses in row 3: too long, not UTF-8.
%! vorlex ('exec', c, 'create temp table ci_narrow (a varchar(3), b text)');
%! cases = {{'ab'; 'abc'; 'abcd'}, {'x'; 'y'; 'z'}, 'varying(3)'
%!          {'ab'; 'abc'; 'ab'},   {'x'; 'y'; char([97 255])}, 'UTF8'};
%! for j = 1:rows (cases)
%!   err = copy_error ('vorlex:copyIn:rowFailed', c, 'ci_narrow', '%text %text', ...
%!                     struct ('a', {cases{j,1}}, 'b', {cases{j,2}}));
%!   assert (! isempty (regexp (err.message, '\<row 3\>', 'once')), err.message);
%!   assert (! isempty (strfind (err.message, cases{j,3})), err.message);
%!   assert_untouched (c, 'ci_narrow', 0);
%! end
%! assert (vorlex ('copyIn', c, 'ci_refused', '%int8 %text', s), 2);
%! assert_untouched (c, 'ci_refused', 3);
%! vorlex ('exec', c, 'drop view ci_view');
%! vorlex ('exec', c, 'drop table ci_narrow, ci_refused');
%! ## A trigger refusing row 777: the server's context names a line of the
%! ## trigger's function before the COPY's row.  The row is found in the
%! ## server's German messages as well (skipped where the machine lacks the
%! ## de_DE.UTF-8 locale), and by insert, which streams through the same COPY.
%! vorlex ('exec', c, 'create temp table ci_trig (k int4)');
%! vorlex ('exec', c, ['create function pg_temp.ci_trig_f() returns trigger language plpgsql as $$' ...
%!                     char(10) 'begin' char(10) '  if new.k = 777 then' char(10) ...
%!                     '    raise exception ''refused %'', new.k;' char(10) '  end if;' char(10) ...
%!                     '  return new;' char(10) 'end $$']);
%! vorlex ('exec', c, ['create trigger ci_trig_t before insert on ci_trig ' ...
%!                     'for each row execute function pg_temp.ci_trig_f()']);
%! k = int32 ((1:1000)');
%! cases = {
%!   'C',           'copyIn', {'%int4', struct('k', k)}
%!   'de_DE.UTF-8', 'copyIn', {'%int4', struct('k', k)}
%!   'de_DE.UTF-8', 'insert', {struct('k', k)}
%! };
%! unwind_protect
%!   for j = 1:rows (cases)
%!     [messages, command, args] = cases{j, :};
%!     try
%!       vorlex ('exec', c, sprintf ('set lc_messages = ''%s''', messages));
%!     catch skip
%!       printf ('skipped: the server cannot speak %s: %s\n', messages, skip.message);
%!       continue;
%!     end_try_catch
%!     failed = false;
%!     try
%!       vorlex (command, c, 'ci_trig', args{:});
%!     catch err
%!       failed = true;
%!     end_try_catch
%!     assert (failed, '%s in %s: no error', command, messages);
%!     assert_id (err, ['vorlex:' command ':rowFailed']);
%!     assert (! isempty (regexp (err.message, '\<row 777\>', 'once')), err.message);
%!     assert (isempty (regexp (err.message, '\<row 4\>', 'once')), err.message);
%!     assert (! isempty (strfind (err.message, 'refused 777')), err.message);
%!     assert_untouched (c, 'ci_trig', 0);
%!   end
%! unwind_protect_cleanup
%!   vorlex ('exec', c, 'reset lc_messages');
%! end_unwind_protect
%! ## A foreign key, checked after the last row, names none.
%! vorlex ('exec', c, 'create temp table ci_parent (k int4 primary key)');
%! vorlex ('exec', c, 'insert into ci_parent select generate_series(1, 1000)');
%! vorlex ('exec', c, 'create temp table ci_child (k int4 references ci_parent)');
%! k = int32 ((1:1000)');
%! k(500) = 5000;
%! err = copy_error ('vorlex:copyIn:copyFailed', c, 'ci_child', '%int4', struct ('k', k));
%! assert (! isempty (strfind (err.message, 'ci_child_k_fkey')), err.message);
%! assert_untouched (c, 'ci_child', 0);
%! vorlex ('exec', c, 'drop table ci_trig, ci_child, ci_parent');
%! ## A unique check deferred to the end of the COPY's own transaction
%! ## fails after the last row: no row named, nothing kept, no count.
%! vorlex ('exec', c, 'create temp table ci_deferred (k int4 unique deferrable initially deferred)');
%! unwind_protect
%!   err = copy_error ('vorlex:copyIn:copyFailed', c, 'ci_deferred', '%int4', struct ('k', int32 ([1; 2; 1])));
%!   assert (! isempty (strfind (err.message, 'duplicate key')), err.message);
%!   assert_untouched (c, 'ci_deferred', 0);
%! unwind_protect_cleanup
%!   vorlex ('exec', c, 'drop table ci_deferred');
%! end_unwind_protect

%!test
%! ## A value refused on the client in the middle of the stream, after
%! ## thousands of rows have gone out: the error starts with its row, the
%! ## COPY is abandoned, nothing is kept.
%! vorlex ('exec', c, 'create temp table ci_client (a int4, b text, c int4[], d bytea)');
%! m = 10000;
%! b = repmat ({'x'}, m, 1);
%! b{6000} = 7;
%! err = copy_error ('vorlex:copyIn:wrongClass', c, 'ci_client (a, b)', '%int4 %text', ...
%!                   struct ('a', int32 ((1:m)'), 'b', {b}));
%! assert_row_message (err, 6000);
%! assert_untouched (c, 'ci_client', 0);
%! b{6000} = 'y';
%! b{9999} = ['a' char(0) 'b'];
%! err = copy_error ('vorlex:copyIn:textHasNul', c, 'ci_client (a, b)', '%int4 %text', ...
%!                   struct ('a', int32 ((1:m)'), 'b', {b}));
%! assert_row_message (err, 9999);
%! assert_untouched (c, 'ci_client', 0);
%! ## Row 150,000 of 200,000: many chunks have gone to the server.
%! a = num2cell ((1:200000)');
%! a{150000} = 'x';
%! err = copy_error ('vorlex:copyIn:wrongClass', c, 'ci_client (a)', '%int4', struct ('a', {a}));
%! assert_row_message (err, 150000);
%! assert_untouched (c, 'ci_client', 0);
%! ## An element mask of the wrong shape in row 3; an array with an extent
%! ## of 0 in row 2; a serialised value marked NULL in row 2.
%! err = copy_error ('vorlex:copyIn:elementNullsShape', c, 'ci_client (c)', '%int4[]', ...
%!                   struct ('a', {{1; 2; [3 4]; 5}}), struct ('a', {{false; false; false; false}}));
%! assert_row_message (err, 3);
%! err = copy_error ('vorlex:copyIn:emptyShape', c, 'ci_client (c)', '%int4[]', ...
%!                   struct ('a', {{1; zeros(0, 3)}}));
%! assert_row_message (err, 2);
%! copy_error ('vorlex:copyIn:serialisedNull', c, 'ci_client (d)', '%serbytea', ...
%!             struct ('a', {{1; 'x'}}), [], struct ('a', [false; true]));
%! assert_untouched (c, 'ci_client', 0);
%! ## Then a COPY on the same connection works.
%! b{9999} = 'z';
%! assert (vorlex ('copyIn', c, 'ci_client (a, b)', '%int4 %text', struct ('a', int32 ((1:m)'), 'b', {b})), m);
%! assert_untouched (c, 'ci_client', m);
%! assert (value_of (c, 'select string_agg(b, '''' order by a) from ci_client where a in (5999, 6000, 9999)'), ...
%!         'xyz');
%! vorlex ('exec', c, 'drop table ci_client');

%!test
%! ## Inside the caller's transaction: a COPY joins it (COMMIT keeps its
%! ## rows, ROLLBACK drops them); a failed COPY leaves it aborted until
%! ## ROLLBACK, after which the connection works.
%! vorlex ('exec', c, 'create temp table ci_tx (a int4 primary key)');
%! unwind_protect
%!   vorlex ('exec', c, 'begin');
%!   assert (vorlex ('copyIn', c, 'ci_tx', '%int4', struct ('a', int32 ([1; 2; 3]))), 3);
%!   vorlex ('exec', c, 'commit');
%!   assert_untouched (c, 'ci_tx', 3);
%!   vorlex ('exec', c, 'begin');
%!   vorlex ('copyIn', c, 'ci_tx', '%int4', struct ('a', int32 ([4; 5])));
%!   assert (count_of (c, 'select count(*) from ci_tx'), 5);
%!   vorlex ('copyIn', c, 'ci_tx', '%int4', struct ('a', int32 ([6; 7])));
%!   assert (count_of (c, 'select count(*) from ci_tx'), 7);
%!   vorlex ('exec', c, 'rollback');
%!   assert_untouched (c, 'ci_tx', 3);
%!   m = 10000;
%!   bad_cell = num2cell ((11:m + 10)');
%!   bad_cell{6000} = 'x';
%!   dup = int32 ((11:m + 10)');
%!   dup(5000) = 2;
%!   failures = {
%!     'vorlex:copyIn:wrongClass', 'ci_tx',         struct('a', {bad_cell})
%!     'vorlex:copyIn:rowFailed',  'ci_tx',         struct('a', dup)
%!     'vorlex:copyIn:copyFailed', 'ci_tx_missing', struct('a', int32([11; 12]))
%!   };
%!   for k = 1:rows (failures)
%!     vorlex ('exec', c, 'begin');
%!     vorlex ('exec', c, 'insert into ci_tx values (100)');
%!     copy_error (failures{k,1}, c, failures{k,2}, '%int4', failures{k,3});
%!     r = vorlex ('execText', c, 'select 1');
%!     assert (vorlex ('resultStatus', r), 7);
%!     assert (! isempty (strfind (vorlex ('resultErrorMessage', r), 'aborted')));
%!     vorlex ('clear', r);
%!     vorlex ('exec', c, 'rollback');
%!     assert_untouched (c, 'ci_tx', 3);
%!     assert (vorlex ('copyIn', c, 'ci_tx', '%int4', struct ('a', int32 ([8; 9]))), 2);
%!     vorlex ('exec', c, 'delete from ci_tx where a in (8, 9)');
%!   end
%! unwind_protect_cleanup
%!   vorlex ('execText', c, 'set client_min_messages = error');
%!   vorlex ('execText', c, 'rollback');
%!   vorlex ('exec', c, 'reset client_min_messages');
%!   vorlex ('exec', c, 'drop table ci_tx');
%! end_unwind_protect

%!test
%! ## Every argument check refuses before anything is sent: the table is as
%! ## it was and the connection works.
%! vorlex ('exec', c, 'create temp table ci_checks (a int8, b text)');
%! vorlex ('exec', c, 'create temp table ci_checks_sb (a int8, b bytea)');
%! vorlex ('exec', c, 'insert into ci_checks values (1, ''one'')');
%! t = 'ci_checks';
%! format = '%int8 %text';
%! s = struct ('a', int64 ([2; 3]), 'b', {{'two'; 'three'}});
%! f2 = struct ('a', false (2, 1), 'b', false (2, 1));
%! swapped = struct ('b', false (2, 1), 'a', false (2, 1));
%! checks = {
%!   {'nargin',                c, t, format}
%!   {'nargin',                c, t, format, s, f2, f2, 'progress', false, 'extra'}
%!   {'targetNotText',         c, 5, format, s}
%!   {'targetNotText',         c, [t; t], format, s}
%!   {'targetNotText',         c, {t}, format, s}
%!   {'targetHasNul',          c, [t char(0) '; drop table ci_checks'], format, s}
%!   {'connectionClass',       double(c), t, format, s}
%!   {'unknownConnection',     c + uint32(1000), t, format, s}
%!   {'formatNotChar',         c, t, 5, s}
%!   {'badFormat',             c, t, '%int8 %nosuchtype', s}
%!   {'tooFewSpecifiers',      c, t, '%int8', s}
%!   {'tooManySpecifiers',     c, t, '%int8 %text %int4', s}
%!   {'valuesNotStruct',       c, t, format, [s; s]}
%!   {'valuesNotStruct',       c, t, format, {int64(2), 'two'}}
%!   {'valuesNoFields',        c, t, format, struct()}
%!   {'rowCounts',             c, t, format, struct('a', int64([2; 3; 4]), 'b', {{'two'; 'three'}})}
%!   {'columnClass',           c, t, format, struct('a', int32([2; 3]), 'b', {{'two'; 'three'}})}
%!   {'columnClass',           c, t, format, struct('a', int64([2; 3]), 'b', [1; 2])}
%!   {'columnClass',           c, t, '%int8 %bytea', struct('a', int64([2; 3]), 'b', int32([1 2; 3 4]))}
%!   {'complexColumn',         c, t, '%float8 %text', struct('a', [2; 3i], 'b', {{'two'; 'three'}})}
%!   {'columnShape',           c, t, format, struct('a', int64([2 3; 4 5]), 'b', {{'two'; 'three'}})}
%!   {'columnShape',           c, t, format, struct('a', int64([2; 3]), 'b', {{'two', 'three'; 'x', 'y'}})}
%!   {'columnNotCell',         c, t, '%int8 %text[]', struct('a', int64([2; 3]), 'b', ['ab'; 'cd'])}
%!   {'serialisedNotCell',     c, t, '%int8 %serbytea', struct('a', int64([2; 3]), 'b', uint8([1 2; 3 4]))}
%!   {'fieldNames',            c, t, format, s, swapped}
%!   {'fieldNames',            c, t, format, s, [], swapped}
%!   {'elementNullsNotStruct', c, t, format, s, true}
%!   {'elementNullsFields',    c, t, format, s, struct('a', false(2, 1))}
%!   {'elementNullsClass',     c, t, format, s, struct('a', [0; 1], 'b', false(2, 1))}
%!   {'elementNullsShape',     c, t, format, s, struct('a', false(1, 2), 'b', false(2, 1))}
%!   {'valueNullsNotStruct',   c, t, format, s, [], [f2 f2]}
%!   {'valueNullsShape',       c, t, format, s, [], struct('a', [0; 0], 'b', false(2, 1))}
%!   {'valueNullsRows',        c, t, format, s, [], struct('a', false(3, 1), 'b', false(2, 1))}
%!   {'serialisedNull',        c, 'ci_checks_sb', '%int8 %serbytea', struct('a', int64([2; 3]), 'b', {{1; 'x'}}), [], struct('a', false(2, 1), 'b', [false; true])}
%! };
%! for k = 1:rows (checks)
%!   copy_error (['vorlex:copyIn:' checks{k}{1}], checks{k}{2:end});
%!   assert_untouched (c, t, 1);
%! end
%! ## Two outputs.
%! try
%!   [x, y] = vorlex ('copyIn', c, t, format, s);
%!   error ('two outputs were accepted');
%! catch err
%!   assert (err.identifier, 'vorlex:copyIn:nargout');
%! end_try_catch
%! assert_untouched (c, t, 1);
%! ## M = 0: nothing sent, 0 returned, whatever the columns' classes.
%! z = struct ('a', zeros (0, 1, 'int64'), 'b', char (zeros (0, 4)));
%! assert (vorlex ('copyIn', c, t, format, z), 0);
%! assert (vorlex ('copyIn', c, t, format, z, struct ('a', false (0, 1), 'b', false (0, 1)), ...
%!                 struct ('a', false (0, 1), 'b', false (0, 1))), 0);
%! assert (vorlex ('copyIn', c, t, '%int8 %int4[]', struct ('a', zeros (0, 1, 'int64'), 'b', zeros (0, 2, 3))), 0);
%! assert (vorlex ('copyIn', c, t, '%int8 %serbytea', struct ('a', [], 'b', {cell(0, 1)})), 0);
%! assert_untouched (c, t, 1);
%! ## The correct call, with and without an output: 2 as a double, or
%! ## nothing assigned.
%! n = vorlex ('copyIn', c, t, format, s, f2, f2);
%! assert (n, 2);
%! assert (class (n), 'double');
%! assert_untouched (c, t, 3);
%! clear ans;
%! vorlex ('copyIn', c, t, format, s);
%! assert (! exist ('ans', 'var'));
%! assert_untouched (c, t, 5);
%! assert (value_of (c, 'select string_agg(a || b, '','' order by a, b) from ci_checks'), ...
%!         '1one,2two,2two,3three,3three');
%! ## The command name in any case.
%! assert (vorlex ('COPYIN', c, t, format, s), 2);
%! assert_untouched (c, t, 7);
%! vorlex ('exec', c, 'drop table ci_checks, ci_checks_sb');

%!test
%! ## Values of a megabyte each: every byte arrives across the stream's
%! ## chunks.
%! m = 20;
%! text = repmat ('abcdefghij', 1, 100000);
%! text(end) = 'z';
%! t = repmat ({text}, m, 1);
%! t{7}(1) = 'Q';
%! bytes = repmat (uint8 (0:249), m, 4000);
%! bytes(:,end) = uint8 (1:m)';
%! vorlex ('exec', c, 'create temp table ci_large (k int4, t text, b bytea)');
%! assert (vorlex ('copyIn', c, 'ci_large', '%int4 %text %bytea', ...
%!                 struct ('k', int32 ((1:m)'), 't', {t}, 'b', bytes)), m);
%! assert_untouched (c, 'ci_large', m);
%! assert (count_of (c, 'select sum(length(t)) from ci_large'), m * 1e6);
%! assert (count_of (c, 'select sum(length(b)) from ci_large'), m * 1e6);
%! assert (count_of (c, ['select count(*) from ci_large where right(t, 1) = ''z'' ' ...
%!                       'and left(t, 1) = case k when 7 then ''Q'' else ''a'' end ' ...
%!                       'and md5(substr(t, 2, 999998)) = md5(substr(repeat(''abcdefghij'', 100000), 2, 999998))']), m);
%! assert (count_of (c, ['select count(*) from ci_large where get_byte(b, 999999) = k ' ...
%!                       'and get_byte(b, 0) = 0 and get_byte(b, 249) = 249 and get_byte(b, 250) = 0 ' ...
%!                       'and get_byte(b, 500123) = 500123 % 250']), m);
%! vorlex ('exec', c, 'drop table ci_large');

%!test
%! ## 200,000 rows of five types, checked by aggregates on the server.
%! m = 200000;
%! i = int32 ((1:m)');
%! x = double (i) / 4;
%! t = strsplit (sprintf ('r%d,', 1:m), ',');
%! t = t(1:m)';
%! ts = datenum (2024, 1, 1) + double (i) / 86400;
%! nulls = struct ('i', false (m, 1), 'x', mod (i, 7) == 0, 't', mod (i, 11) == 0, ...
%!                 'ts', false (m, 1), 'a', mod (i, 13) == 0);
%! a = [double(i) -double(i)];
%! vorlex ('exec', c, 'create temp table ci_big (i int4, x float8, t text, ts timestamp, a int8[])');
%! n = vorlex ('copyIn', c, 'ci_big', '%int4 %float8 %text %timestamp %int8[]@', ...
%!             struct ('i', i, 'x', x, 't', {t}, 'ts', ts, 'a', int64 (a)), [], nulls);
%! assert (n, m);
%! assert_untouched (c, 'ci_big', m);
%! assert (count_of (c, 'select count(distinct i) from ci_big'), m);
%! assert (count_of (c, 'select sum(i) from ci_big'), m * (m + 1) / 2);
%! assert (count_of (c, 'select count(*) from ci_big where x is null'), sum (nulls.x));
%! assert (count_of (c, 'select count(*) from ci_big where (x is null) <> (i % 7 = 0)'), 0);
%! assert (count_of (c, 'select count(*) from ci_big where x <> i::float8 / 4'), 0);
%! assert (count_of (c, 'select count(*) from ci_big where (t is null) <> (i % 11 = 0)'), 0);
%! assert (count_of (c, 'select count(*) from ci_big where t <> ''r'' || i'), 0);
%! assert (count_of (c, 'select count(*) from ci_big where (a is null) <> (i % 13 = 0)'), 0);
%! assert (count_of (c, 'select count(*) from ci_big where a <> array[i, -i]::int8[]'), 0);
%! assert (count_of (c, ['select max(abs(extract(epoch from ts - timestamp ''2024-01-01'') - i))' ...
%!                       '::float8 from ci_big']) < 1e-3);
%! vorlex ('exec', c, 'drop table ci_big');

%!test
%! ## A serialiser that calls the module again on the connection whose COPY
%! ## is streaming is refused, not obeyed: the COPY fails with the
%! ## serialiser's failure, nothing is kept, and the connection goes on.
%! global vorlex_copy_conn
%! vorlex_copy_conn = c;
%! vorlex ('exec', c, 'create temp table ci_reenter (a int4, b bytea)');
%! dir = tempname ();
%! mkdir (dir);
%! fid = fopen (fullfile (dir, 'vorlex_serialize.m'), 'w');
%! fprintf (fid, ['function b = vorlex_serialize (v)\n  global vorlex_copy_conn\n' ...
%!                '  vorlex (''exec'', vorlex_copy_conn, ''insert into ci_reenter values (0, null)'');\n' ...
%!                '  b = uint8 (1);\nend\n']);
%! fclose (fid);
%! previous = cd (dir);
%! clear vorlex_serialize;
%! unwind_protect
%!   err = copy_error ('vorlex:copyIn:serialiseFailed', c, 'ci_reenter', '%int4 %serbytea', ...
%!                     struct ('a', int32 ((1:3)'), 'b', {{1; 2; 3}}));
%!   assert_row_message (err, 1);
%!   assert_untouched (c, 'ci_reenter', 0);
%! unwind_protect_cleanup
%!   cd (previous);
%!   clear vorlex_serialize;
%!   confirm_recursive_rmdir (false, 'local');
%!   rmdir (dir, 's');
%!   clear -global vorlex_copy_conn
%! end_unwind_protect
%! assert (vorlex ('copyIn', c, 'ci_reenter', '%int4 %serbytea', struct ('a', int32 (1), 'b', {{'v'}})), 1);
%! r = vorlex ('exec', c, 'select b from ci_reenter');
%! s = vorlex ('resultGet', r, '%serbytea', 0);
%! vorlex ('clear', r);
%! assert (s.value, {'v'});
%! vorlex ('exec', c, 'drop table ci_reenter');

%!test
%! ## A connection whose backend is gone: an error, not a crash; reset
%! ## brings it back and a COPY works again.
%! victim = vorlex ('connect', '');
%! killer = vorlex ('connect', '');
%! unwind_protect
%!   pid = value_of (victim, 'select pg_backend_pid()');
%!   value_of (killer, sprintf ('select pg_terminate_backend(%d, 10000)', pid));
%!   rows = struct ('a', int32 ((1:100)'));
%!   try
%!     vorlex ('copyIn', victim, 'ci_lost', '%int4', rows);
%!     error ('a COPY on a lost connection passed');
%!   catch err
%!     assert (strcmp (err.identifier, 'vorlex:copyIn:connectionLost'), err.message);
%!   end_try_catch
%!   vorlex ('reset', victim);
%!   assert (vorlex ('status', victim), 0);
%!   vorlex ('exec', victim, 'create temp table ci_lost (a int4)');
%!   assert (vorlex ('copyIn', victim, 'ci_lost', '%int4', rows), 100);
%!   assert_untouched (victim, 'ci_lost', 100);
%! unwind_protect_cleanup
%!   vorlex ('finish', victim);
%!   vorlex ('finish', killer);
%! end_unwind_protect

%!test
%! vorlex ('finish', c);
