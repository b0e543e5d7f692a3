## batchExec: one statement run for every row of a struct of columns, in
## one pipeline; what the server receives, NULLs, the checks made before
## anything is sent, failures in the middle of the stream, and the names of
## the prepared statements.

%!shared c
%! c = vorlex ('connect', '');

%!function err = batch_error (id, varargin)
%!  try
%!    vorlex ('batchExec', varargin{:});
%!  catch err
%!    assert (err.identifier, id);
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
%!  ## TABLE still holds N rows, no prepared statement is left, and the
%!  ## connection takes the next statement.
%!  assert (count_of (c, ['select count(*) from ' table]), n);
%!  assert (count_of (c, 'select count(*) from pg_prepared_statements'), 0);
%!  assert (count_of (c, 'select 41 + 1'), 42);
%!endfunction

%!function number = statement_number (name, prefix)
%!  ## N of the statement name "<prefix>_<N>".
%!  assert (strncmp (name, [prefix '_'], numel (prefix) + 1), name);
%!  number = str2double (name(numel (prefix) + 2:end));
%!  assert (number == fix (number) && number >= 0, name);
%!endfunction

%!test
%! ## Numeric and logical columns of each class, and doubles for the
%! ## integer types (truncated toward zero, int2 keeping its low bits) and
%! ## for bool; the server's text shows what arrived, row by row.
%! assert (count_of (c, 'select count(*) from pg_prepared_statements'), 0);
%! cases = {
%!   '%int2',   int16([-32768; 0; 32767]),        {'-32768'; '0'; '32767'}
%!   '%int4',   int32([intmin('int32'); 7; 0]),   {'-2147483648'; '7'; '0'}
%!   '%int8',   int64([intmax('int64'); -1]),     {'9223372036854775807'; '-1'}
%!   '%float4', single([1.5; -Inf; 0.1]),         {'1.5'; '-Infinity'; '0.1'}
%!   '%float8', [-0.125; NaN; 1e300; Inf],        {'-0.125'; 'NaN'; '1e+300'; 'Infinity'}
%!   '%bool',   [true; false; true],              {'true'; 'false'; 'true'}
%!   '%int4',   [2.7; -1.9; 2147483647],          {'2'; '-1'; '2147483647'}
%!   '%int2',   [40000; -2.5],                    {'-25536'; '-2'}
%!   '%int8',   [1e15 + 0.75; -3.99],             {'1000000000000000'; '-3'}
%!   '%float4', [0.1; 1e40],                      {'0.1'; 'Infinity'}
%!   '%bool',   [2; 256; 0.5],                    {'true'; 'false'; 'false'}
%! };
%! for k = 1:rows (cases)
%!   [t, n] = batch_rows (c, cases{k,1}, cases{k,2});
%!   assert (t, cases{k,3});
%!   assert (n, false (numel (cases{k,3}), 1));
%! end
%! ## Other integer classes are refused, not reinterpreted: uint32 is not int32.
%! batch_error ('vorlex:batchExec:columnClass', c, 'select $1', '%int4', ...
%!              struct ('a', uint32 ([1; 2])));
%! assert (count_of (c, 'select count(*) from pg_prepared_statements'), 0);

%!test
%! ## Text-like and bytea columns: a char matrix holds one K-character value
%! ## per row (spaces kept), a cell column one text of any length per row;
%! ## empty values arrive empty, not NULL.
%! [t, n] = batch_rows (c, '%text', ['h€l'; 'ab de'; 'x  y ']);
%! assert (t, {'h€l'; 'ab de'; 'x  y '});
%! assert (n, false (3, 1));
%! [t, n] = batch_rows (c, '%text', char (zeros (3, 0)));
%! assert (n, false (3, 1));
%! assert (all (cellfun ('isempty', t)));
%! long = repmat ('0123456789', 1, 10000);
%! [t, n] = batch_rows (c, '%text', {'a'; ''; 'h€llo'; long; 'NULL'});
%! assert (t, {'a'; ''; 'h€llo'; long; 'NULL'});
%! assert (n, false (5, 1));
%! [t, n] = batch_rows (c, '%varchar', {'v w'; ''});
%! assert (t, {'v w'; ''});
%! assert (n, false (2, 1));
%! [t, n] = batch_rows (c, '%numeric', ['1.50'; '-2.5'; '1e-2']);
%! assert (t, {'1.50'; '-2.5'; '0.01'});
%! [t, n] = batch_rows (c, '%numeric', {'-12.3400'; 'NaN'; '1'});
%! assert (t, {'-12.3400'; 'NaN'; '1'});
%! [t, n] = batch_rows (c, '%bytea', uint8 ([0 1 255; 10 11 12]));
%! assert (t, {'\x0001ff'; '\x0a0b0c'});
%! [t, n] = batch_rows (c, '%bytea', {uint8([1 2 3]); uint8([]); uint8(255)});
%! assert (t, {'\x010203'; '\x'; '\xff'});
%! assert (n, false (3, 1));
%! [t, n] = batch_rows (c, '%bytea', zeros (2, 0, 'uint8'));
%! assert (t, {'\x'; '\x'});
%! assert (n, false (2, 1));
%! ## A one-column char matrix is one character per row.
%! [t, n] = batch_rows (c, '%bpchar', ['a'; 'b']);
%! assert (t, {'a'; 'b'});

%!test
%! ## Array columns: a cell of arrays (any shapes), an M-by-2-by-3 column
%! ## whose row r is the 1-by-2-by-3 array A(r,:,:), an M-by-K column as
%! ## 1-by-K arrays, flattened by "@" (column-major within the row).
%! [t, n] = batch_rows (c, '%int4[]', {int32([1 2 3]); [7 8; 9 10]; int32([4; 5]); []; 6});
%! assert (t, {'{{1,2,3}}'; '{{7,8},{9,10}}'; '{{4},{5}}'; '{}'; '{{6}}'});
%! assert (n, false (5, 1));
%! m = 4;
%! a = zeros (m, 2, 3, 'int32');
%! for r = 1:m
%!   for j = 1:2
%!     for k = 1:3
%!       a(r,j,k) = 100 * r + 10 * j + k;
%!     end
%!   end
%! end
%! nested = arrayfun (@(r) sprintf ('{{{%d,%d,%d},{%d,%d,%d}}}', 100 * r + [11 12 13 21 22 23]), ...
%!                    (1:m)', 'UniformOutput', false);
%! flat = arrayfun (@(r) sprintf ('{%d,%d,%d,%d,%d,%d}', 100 * r + [11 21 12 22 13 23]), ...
%!                  (1:m)', 'UniformOutput', false);
%! assert (batch_rows (c, '%int4[]', a), nested);
%! assert (batch_rows (c, '%int4[]', double (a)), nested);
%! assert (batch_rows (c, '%int8[]', int64 (a)), nested);
%! assert (batch_rows (c, '%int4[]@', a), flat);
%! assert (batch_rows (c, '%int4[]', [1 2 3; 4 5 6]), {'{{1,2,3}}'; '{{4,5,6}}'});
%! assert (batch_rows (c, '%int4[]@', [1 2 3; 4 5 6]), {'{1,2,3}'; '{4,5,6}'});
%! assert (batch_rows (c, '%int4[]', [2.9; -2.9]), {'{{2}}'; '{{-2}}'});
%! assert (batch_rows (c, '%float8[]', [0.5 -Inf; NaN 1e300]), {'{{0.5,-Infinity}}'; '{{NaN,1e+300}}'});
%! assert (batch_rows (c, '%float4[]', single ([0.5 1.5; 2 3])), {'{{0.5,1.5}}'; '{{2,3}}'});
%! assert (batch_rows (c, '%int2[]', int16 ([-1 2; 3 -4])), {'{{-1,2}}'; '{{3,-4}}'});
%! assert (batch_rows (c, '%bool[]', logical ([1 0; 0 1])), {'{{t,f}}'; '{{f,t}}'});
%! assert (batch_rows (c, '%date[]', [730486 730487; 730488 730489]), ...
%!         {'{{2000-01-01,2000-01-02}}'; '{{2000-01-03,2000-01-04}}'});
%! ## Arrays of text-like types and of numeric come from cells of cells.
%! assert (batch_rows (c, '%text[]', {{'a', 'b c'}; {''; 'NULL'}; {}}), ...
%!         {'{{a,"b c"}}'; '{{""},{"NULL"}}'; '{}'});
%! assert (batch_rows (c, '%numeric[]', {{'1.50', '-0.001'}; {'2'}}), {'{{1.50,-0.001}}'; '{{2}}'});
%! assert (batch_rows (c, '%numeric[]@', {{'1', '2'; '3', '4'}}), {'{1,3,2,4}'});
%! assert (batch_rows (c, '%bytea[]', {{uint8([1 2]), uint8([])}}), {'{{"\\x0102","\\x"}}'});

%!test
%! ## Date numbers for the date/time types.
%! vorlex ('exec', c, 'set timezone = ''UTC''');
%! assert (batch_rows (c, '%timestamp', [730486.5; 730487.25]), ...
%!         {'2000-01-01 12:00:00'; '2000-01-02 06:00:00'});
%! assert (batch_rows (c, '%date', [730486; 730487.9]), {'2000-01-01'; '2000-01-02'});
%! assert (batch_rows (c, '%timestamptz', datenum (2024, 2, 29, 18, 0, 0) + [0; 0.5]), ...
%!         {'2024-02-29 18:00:00+00'; '2024-03-01 06:00:00+00'});
%! assert (batch_rows (c, '%time', [0.25; 0.75]), {'06:00:00'; '18:00:00'});
%! assert (batch_rows (c, '%timestamp[]', [730486.25 730486.5]), ...
%!         {'{{"2000-01-01 06:00:00","2000-01-01 12:00:00"}}'});

%!test
%! ## serbytea: a cell column of any values, each stored serialised; they
%! ## make the round trip through resultGet.  serbytea_wn takes NULLs.
%! vorlex ('exec', c, 'create temp table bx_ser (k serial, v bytea, w bytea[])');
%! values = {struct('a', {1, 'two'}, 'b', {{3}, int8([4 5])}); {1, 'x'; [], {true}}; ...
%!           magic(4); single(1:3) + 2i; 'text'; zeros(0, 3, 'uint16')};
%! arrays = {{1, 'two'}; {[]}; {'a'; 'b'}; {{}}; {int8(1), int8(2)}; {true}};
%! s = struct ('v', {values}, 'w', {arrays});
%! vorlex ('batchExec', c, 'insert into bx_ser (v, w) values ($1, $2)', '%serbytea %serbytea[]', s);
%! r = vorlex ('exec', c, 'select v, w from bx_ser order by k');
%! [v, w] = vorlex ('resultGet', r, '%serbytea %serbytea[]@', 0, 1);
%! vorlex ('clear', r);
%! assert (v.value, values);
%! for k = 1:numel (values)
%!   assert (class (v.value{k}), class (values{k}));
%!   assert (w.value{k}, arrays{k}(:));
%! end
%! vorlex ('exec', c, 'truncate bx_ser');
%! s = struct ('v', {{[1 2]; 'skipped'; {3}}});
%! vorlex ('batchExec', c, 'insert into bx_ser (v) values ($1)', '%serbytea_wn', s, [], ...
%!         struct ('v', [false; true; false]));
%! r = vorlex ('exec', c, 'select v from bx_ser order by k');
%! v = vorlex ('resultGet', r, '%serbytea_wn', 0, 'columnVectors', false);
%! vorlex ('clear', r);
%! assert (v.valueIsNull, {false; true; false});
%! assert (v.value([1 3]), {[1 2]; {3}});
%! vorlex ('exec', c, 'drop table bx_ser');

%!test
%! ## valueNulls: whole values NULL, for every kind of column; the other
%! ## rows keep their values.
%! vn = [false; true; false];
%! cases = {
%!   '%int4',     int32([1; 2; 3]),                 {'1'; ''; '3'}
%!   '%float8',   [0.5; 1; 2],                      {'0.5'; ''; '2'}
%!   '%bool',     [true; true; false],              {'true'; ''; 'false'}
%!   '%text',     ['ab'; 'cd'; 'ef'],               {'ab'; ''; 'ef'}
%!   '%text',     {'x'; 'y'; ''},                   {'x'; ''; ''}
%!   '%bytea',    uint8([1 2; 3 4; 5 6]),           {'\x0102'; ''; '\x0506'}
%!   '%numeric',  {'1.5'; '2.5'; '3.5'},            {'1.5'; ''; '3.5'}
%!   '%int4[]',   [1 2; 3 4; 5 6],                  {'{{1,2}}'; ''; '{{5,6}}'}
%!   '%int4[]',   {1; [2 3]; 4},                    {'{{1}}'; ''; '{{4}}'}
%!   '%text[]',   {{'a'}; {'b'}; {'c'}},            {'{{a}}'; ''; '{{c}}'}
%!   '%timestamp', [730486; 730487; 730488],        {'2000-01-01 00:00:00'; ''; '2000-01-03 00:00:00'}
%! };
%! for k = 1:rows (cases)
%!   [t, n] = batch_rows (c, cases{k,1}, cases{k,2}, [], vn);
%!   assert (n, vn);
%!   assert (t([1 3]), cases{k,3}([1 3]));
%! end
%! ## All NULL, and none.
%! [t, n] = batch_rows (c, '%int8', int64 ([5; 6]), [], true (2, 1));
%! assert (n, true (2, 1));
%! [t, n] = batch_rows (c, '%int8', int64 ([5; 6]), [], false (2, 1));
%! assert (t, {'5'; '6'});
%! assert (n, false (2, 1));

%!test
%! ## elementNulls: a logical column for scalars (true = NULL); for arrays of
%! ## a non-cell column a logical array shaped like the column; for arrays
%! ## of a cell column a cell column of masks shaped like each value.
%! [t, n] = batch_rows (c, '%int4', int32 ([1; 2; 3]), [true; false; true]);
%! assert (n, [true; false; true]);
%! assert (t{2}, '2');
%! [t, n] = batch_rows (c, '%text', {'a'; 'b'}, [false; true]);
%! assert (n, [false; true]);
%! [t, n] = batch_rows (c, '%text', ['ab'; 'cd'], [true; false]);
%! assert (n, [true; false]);
%! assert (t{2}, 'cd');
%! mask = logical ([0 1 0; 0 0 0; 1 1 1]);
%! [t, n] = batch_rows (c, '%int4[]', [1 2 3; 4 5 6; 7 8 9], mask);
%! assert (t, {'{{1,NULL,3}}'; '{{4,5,6}}'; '{{NULL,NULL,NULL}}'});
%! assert (n, false (3, 1));
%! assert (batch_rows (c, '%int4[]@', [1 2 3; 4 5 6; 7 8 9], mask), ...
%!         {'{1,NULL,3}'; '{4,5,6}'; '{NULL,NULL,NULL}'});
%! assert (batch_rows (c, '%float8[]', [1.5; 2.5], [true; false]), {'{{NULL}}'; '{{2.5}}'});
%! ## Three dimensions: mask(r,j,k) marks A(r,j,k).
%! a = zeros (3, 2, 3, 'int32');
%! for r = 1:3
%!   for j = 1:2
%!     for k = 1:3
%!       a(r,j,k) = 100 * r + 10 * j + k;
%!     end
%!   end
%! end
%! mask = false (3, 2, 3);
%! mask(2,1,3) = true;
%! mask(3,2,1) = true;
%! assert (batch_rows (c, '%int4[]', a, mask), ...
%!         {'{{{111,112,113},{121,122,123}}}'; '{{{211,212,NULL},{221,222,223}}}'; ...
%!          '{{{311,312,313},{NULL,322,323}}}'});
%! assert (batch_rows (c, '%int4[]@', a, mask), ...
%!         {'{111,121,112,122,113,123}'; '{211,221,212,222,NULL,223}'; ...
%!          '{311,NULL,312,322,313,323}'});
%! ## Cell columns of arrays with a mask per row.
%! [t, n] = batch_rows (c, '%int4[]', {int32([1 2 3]); [4; 5]; []}, ...
%!                      {logical([0 1 0]); logical([1; 0]); false(0, 0)});
%! assert (t, {'{{1,NULL,3}}'; '{{NULL},{5}}'; '{}'});
%! assert (n, false (3, 1));
%! assert (batch_rows (c, '%text[]', {{'a', 'b'}; {'c'}}, {logical([1 0]); false}), ...
%!         {'{{NULL,b}}'; '{{c}}'});
%! assert (batch_rows (c, '%numeric[]', {{'1', 'x'}}, {logical([0 1])}), {'{{1,NULL}}'});
%! assert (batch_rows (c, '%bytea[]', {{uint8(1), uint8(2)}}, {logical([0 1])}), {'{{"\\x01",NULL}}'});
%! ## valueNulls wins over an element mask.
%! [t, n] = batch_rows (c, '%int4[]', [1 2; 3 4], logical ([1 0; 0 1]), [false; true]);
%! assert (n, [false; true]);
%! assert (t{1}, '{{NULL,2}}');
%! ## Both NULL structs with two fields, element NULLs only where marked.
%! vorlex ('exec', c, 'create temp table bx_nulls (k serial, a text, b text)');
%! s = struct ('a', {{1; 2}}, 'b', [10 20; 30 40]);
%! e = struct ('a', {{true; false}}, 'b', logical ([0 1; 0 0]));
%! v = struct ('a', [false; false], 'b', [false; false]);
%! vorlex ('batchExec', c, 'insert into bx_nulls (a, b) values ($1::text, $2::text)', ...
%!         '%int4[] %int4[]', s, e, v);
%! assert (value_of (c, 'select string_agg(a || ''|'' || b, '';'' order by k) from bx_nulls'), ...
%!         '{{NULL}}|{{10,NULL}};{{2}}|{{30,40}}');
%! vorlex ('exec', c, 'drop table bx_nulls');

%!test
%! ## Everything is checked before anything is sent: each refusal leaves the
%! ## table as it was, no prepared statement, and the connection working.
%! vorlex ('exec', c, 'create temp table bx_checks (a int8, b text)');
%! vorlex ('exec', c, 'insert into bx_checks values (1, ''one'')');
%! sql = 'insert into bx_checks values ($1, $2)';
%! s = struct ('a', int64 ([2; 3]), 'b', {{'two'; 'three'}});
%! f2 = struct ('a', false (2, 1), 'b', false (2, 1));
%! swapped = struct ('b', false (2, 1), 'a', false (2, 1));
%! renamed = struct ('a', false (2, 1), 'c', false (2, 1));
%! err = batch_error ('vorlex:batchExec:fieldNames', c, sql, '%int8 %text', s, swapped);
%! assert (! isempty (strfind (err.message, 'field 1 of argument 6 (elementNulls) is ''b''')), err.message);
%! err = batch_error ('vorlex:batchExec:fieldNames', c, sql, '%int8 %text', s, f2, renamed);
%! assert (! isempty (strfind (err.message, 'field 2 of argument 7 (valueNulls) is ''c''')), err.message);
%! assert (! isempty (strfind (err.message, '''b''')), err.message);
%! err = batch_error ('vorlex:batchExec:fieldNames', c, sql, '%int8 %text', s, [], swapped);
%! assert (! isempty (strfind (err.message, 'field 1 of argument 7 (valueNulls)')), err.message);
%! batch_error ('vorlex:batchExec:elementNullsFields', c, sql, '%int8 %text', s, struct ('a', false (2, 1)));
%! batch_error ('vorlex:batchExec:valueNullsFields', c, sql, '%int8 %text', s, [], ...
%!              struct ('a', false (2, 1), 'b', false (2, 1), 'c', false (2, 1)));
%! batch_error ('vorlex:batchExec:elementNullsNotStruct', c, sql, '%int8 %text', s, true);
%! batch_error ('vorlex:batchExec:valueNullsNotStruct', c, sql, '%int8 %text', s, [], [f2 f2]);
%! batch_error ('vorlex:batchExec:rowCounts', c, sql, '%int8 %text', ...
%!              struct ('a', int64 ([2; 3; 4]), 'b', {{'two'; 'three'}}));
%! ## Classes of non-cell columns.
%! batch_error ('vorlex:batchExec:columnClass', c, sql, '%int8 %text', ...
%!              struct ('a', int32 ([2; 3]), 'b', {{'two'; 'three'}}));
%! batch_error ('vorlex:batchExec:columnClass', c, sql, '%int8 %text', ...
%!              struct ('a', int64 ([2; 3]), 'b', [1; 2]));
%! batch_error ('vorlex:batchExec:columnClass', c, sql, '%int8 %bytea', ...
%!              struct ('a', int64 ([2; 3]), 'b', int32 ([1 2; 3 4])));
%! batch_error ('vorlex:batchExec:columnClass', c, sql, '%int8 %int4', ...
%!              struct ('a', int64 ([2; 3]), 'b', true (2, 1)));
%! batch_error ('vorlex:batchExec:columnClass', c, sql, '%float8 %text', ...
%!              struct ('a', single ([2; 3]), 'b', {{'two'; 'three'}}));
%! batch_error ('vorlex:batchExec:columnClass', c, sql, '%int8 %int4[]', ...
%!              struct ('a', int64 ([2; 3]), 'b', int8 ([1 2; 3 4])));
%! batch_error ('vorlex:batchExec:complexColumn', c, sql, '%float8 %text', ...
%!              struct ('a', [2; 3i], 'b', {{'two'; 'three'}}));
%! batch_error ('vorlex:batchExec:serialisedNotCell', c, sql, '%int8 %serbytea', ...
%!              struct ('a', int64 ([2; 3]), 'b', uint8 ([1 2; 3 4])));
%! batch_error ('vorlex:batchExec:columnNotCell', c, sql, '%int8 %text[]', ...
%!              struct ('a', int64 ([2; 3]), 'b', ['ab'; 'cd']));
%! batch_error ('vorlex:batchExec:columnShape', c, sql, '%int8 %text', ...
%!              struct ('a', int64 ([2 3; 4 5]), 'b', {{'two'; 'three'}}));
%! batch_error ('vorlex:batchExec:columnShape', c, sql, '%int8 %text', ...
%!              struct ('a', int64 ([2; 3]), 'b', {{'two', 'three'; 'x', 'y'}}));
%! ## NULL marks of the wrong class or shape.
%! batch_error ('vorlex:batchExec:elementNullsClass', c, sql, '%int8 %text', s, ...
%!              struct ('a', [0; 1], 'b', false (2, 1)));
%! batch_error ('vorlex:batchExec:elementNullsShape', c, sql, '%int8 %text', s, ...
%!              struct ('a', false (1, 2), 'b', false (2, 1)));
%! batch_error ('vorlex:batchExec:elementNullsShape', c, sql, '%int8 %int4[]', ...
%!              struct ('a', int64 ([2; 3]), 'b', [1 2 3; 4 5 6]), ...
%!              struct ('a', false (2, 1), 'b', false (2, 2)));
%! batch_error ('vorlex:batchExec:elementNullsClass', c, sql, '%int8 %int4[]', ...
%!              struct ('a', int64 ([2; 3]), 'b', {{1; 2}}), f2);
%! batch_error ('vorlex:batchExec:valueNullsShape', c, sql, '%int8 %text', s, [], ...
%!              struct ('a', [0; 0], 'b', false (2, 1)));
%! batch_error ('vorlex:batchExec:valueNullsRows', c, sql, '%int8 %text', s, [], ...
%!              struct ('a', false (3, 1), 'b', false (2, 1)));
%! ## serbytea has no NULL, from either struct (found as the row is built;
%! ## the rows before it are not kept).
%! ser = struct ('a', int64 ([2; 3]), 'b', {{1; 'x'}});
%! batch_error ('vorlex:batchExec:serialisedNull', c, sql, '%int8 %serbytea', ser, [], ...
%!              struct ('a', false (2, 1), 'b', [false; true]));
%! batch_error ('vorlex:batchExec:serialisedNull', c, sql, '%int8 %serbytea', ser, ...
%!              struct ('a', false (2, 1), 'b', [true; false]));
%! batch_error ('vorlex:batchExec:serialisedNull', c, 'select $1, $2', '%int8 %serbytea[]', ...
%!              struct ('a', int64 ([2; 3]), 'b', {{{1, 2}; {3}}}), ...
%!              struct ('a', false (2, 1), 'b', {{logical([0 0]); true}}));
%! ## The format against the fields.
%! batch_error ('vorlex:batchExec:tooFewSpecifiers', c, sql, '%int8', s);
%! batch_error ('vorlex:batchExec:tooManySpecifiers', c, sql, '%int8 %text %int4', s);
%! batch_error ('vorlex:batchExec:badFormat', c, sql, '%int8 %nosuchtype', s);
%! batch_error ('vorlex:batchExec:formatNotChar', c, sql, 5, s);
%! ## The other arguments.
%! batch_error ('vorlex:batchExec:nargin', c, sql, '%int8 %text');
%! batch_error ('vorlex:batchExec:connectionClass', double (c), sql, '%int8 %text', s);
%! batch_error ('vorlex:batchExec:unknownConnection', c + uint32 (1000), sql, '%int8 %text', s);
%! batch_error ('vorlex:batchExec:connectionEmpty', zeros (0, 1, 'uint32'), sql, '%int8 %text', s);
%! batch_error ('vorlex:batchExec:sqlNotText', c, 5, '%int8 %text', s);
%! batch_error ('vorlex:batchExec:sqlNotText', c, [sql; sql], '%int8 %text', s);
%! batch_error ('vorlex:batchExec:sqlHasNul', c, [sql char(0) '; drop table bx_checks'], '%int8 %text', s);
%! batch_error ('vorlex:batchExec:valuesNotStruct', c, sql, '%int8 %text', [s; s]);
%! batch_error ('vorlex:batchExec:valuesNotStruct', c, sql, '%int8 %text', {int64(2), 'two'});
%! batch_error ('vorlex:batchExec:valuesNoFields', c, sql, '%int8 %text', struct ());
%! batch_error ('vorlex:batchExec:prefixEmpty', c, sql, '%int8 %text', s, [], [], '');
%! batch_error ('vorlex:batchExec:prefixNotChar', c, sql, '%int8 %text', s, [], [], 5);
%! batch_error ('vorlex:batchExec:prefixHasNul', c, sql, '%int8 %text', s, [], [], ['p' char(0)]);
%! batch_error ('vorlex:batchExec:prefixTooLong', c, sql, '%int8 %text', s, [], [], repmat ('p', 1, 43));
%! try
%!   x = vorlex ('batchExec', c, sql, '%int8 %text', s);
%!   error ('an output was accepted');
%! catch err
%!   assert (err.identifier, 'vorlex:batchExec:nargout');
%! end_try_catch
%! assert_untouched (c, 'bx_checks', 1);
%! ## The same call, correct, goes through.
%! vorlex ('batchExec', c, sql, '%int8 %text', s, f2, f2, repmat ('p', 1, 42));
%! assert_untouched (c, 'bx_checks', 3);
%! assert (value_of (c, 'select string_agg(a || b, '','' order by a) from bx_checks'), ...
%!         '1one,2two,3three');
%! vorlex ('exec', c, 'drop table bx_checks');

%!test
%! ## M = 0: no error and nothing sent, whatever the columns' classes; M = 1
%! ## for every kind of column.
%! vorlex ('exec', c, 'create temp table bx_small (k serial, a int4, b text, c text, d text, e bytea)');
%! sql = 'insert into bx_small (a, b, c, d, e) values ($1, $2, $3::text, $4::text, $5)';
%! format = '%int4 %text %int4[] %int4[] %serbytea';
%! s = struct ('a', zeros (0, 1, 'int32'), 'b', char (zeros (0, 4)), 'c', zeros (0, 2, 3), ...
%!             'd', {cell(0, 1)}, 'e', {cell(0, 1)});
%! vorlex ('batchExec', c, sql, format, s);
%! e0 = struct ('a', false (0, 1), 'b', false (0, 1), 'c', false (0, 2, 3), ...
%!             'd', {cell(0, 1)}, 'e', false (0, 1));
%! v0 = struct ('a', false (0, 1), 'b', false (0, 1), 'c', false (0, 1), ...
%!             'd', false (0, 1), 'e', false (0, 1));
%! vorlex ('batchExec', c, sql, format, s, e0, v0);
%! vorlex ('batchExec', c, 'insert into bx_small (a) values ($1)', '%int4', struct ('a', []));
%! assert_untouched (c, 'bx_small', 0);
%! a = reshape (int32 (1:6), [1 2 3]);
%! s = struct ('a', int32 (7), 'b', 'one', 'c', a, 'd', {{[1 2]}}, 'e', {{{'x', 2}}});
%! vorlex ('batchExec', c, sql, format, s);
%! assert_untouched (c, 'bx_small', 1);
%! assert (value_of (c, 'select a::text || b || c || d from bx_small'), ...
%!         '7one{{{1,3,5},{2,4,6}}}{{1,2}}');
%! r = vorlex ('exec', c, 'select e from bx_small');
%! e = vorlex ('resultGet', r, '%serbytea', 0);
%! vorlex ('clear', r);
%! assert (e.value, {{'x', 2}});
%! vorlex ('exec', c, 'drop table bx_small');

%!test
%! ## Statement names: "<prefix>_<n>" with one counter for the module (all
%! ## connections), advanced by every call that passes its argument checks,
%! ## M = 0 included.  Each statement is gone when the call returns.
%! other = vorlex ('connect', '');
%! unwind_protect
%!   sql = ['insert into bx_names (n, name) select $1, ' ...
%!          '(select string_agg(name, '','') from pg_prepared_statements)'];
%!   for conn = [c other]
%!     vorlex ('exec', conn, 'create temp table bx_names (k serial, n int4, name text)');
%!   end
%!   rows = struct ('n', int32 ([1; 2; 3]));
%!   quoted = 'Bx "Names" ä';
%!   longest = repmat ('q', 1, 42);
%!   vorlex ('batchExec', c, sql, '%int4', rows);
%!   vorlex ('batchExec', c, sql, '%int4', rows);
%!   vorlex ('batchExec', other, sql, '%int4', rows);
%!   vorlex ('batchExec', c, sql, '%int4', struct ('n', zeros (0, 1, 'int32')));
%!   vorlex ('batchExec', c, sql, '%int4', rows, [], [], quoted);
%!   vorlex ('batchExec', c, sql, '%int4', rows, [], [], longest);
%!   names = {};
%!   for conn = [c other]
%!     r = vorlex ('execText', conn, 'select name from bx_names order by k');
%!     for i = 1:vorlex ('rowCount', r)
%!       names{end + 1, 1} = vorlex ('getValue', r, i - 1, 0);
%!     end
%!     vorlex ('clear', r);
%!     assert (count_of (conn, 'select count(*) from pg_prepared_statements'), 0);
%!   end
%!   assert (numel (names), 15);
%!   ## Every row of one call saw the one statement of that call.
%!   for call = 1:5
%!     assert (all (strcmp (names(3 * call - 2:3 * call), names{3 * call})));
%!   end
%!   ## On c: calls 1, 2, 5, 6 (4 has no rows); on other: call 3.
%!   n1 = statement_number (names{1}, 'vorlex_batch');
%!   assert (statement_number (names{4}, 'vorlex_batch'), n1 + 1);
%!   assert (statement_number (names{7}, quoted), n1 + 4);
%!   assert (statement_number (names{10}, longest), n1 + 5);
%!   assert (statement_number (names{13}, 'vorlex_batch'), n1 + 2);
%! unwind_protect_cleanup
%!   vorlex ('exec', c, 'drop table if exists bx_names');
%!   vorlex ('finish', other);
%! end_unwind_protect

%!test
%! ## A row the server refuses: the error names it, nothing of the batch is
%! ## kept, no statement is left, and the connection goes on.
%! vorlex ('exec', c, 'create temp table bx_fail (a int4 check (a > 0), b text)');
%! sql = 'insert into bx_fail values ($1, $2)';
%! a = int32 ((1:10)');
%! a(5) = -5;
%! b = arrayfun (@(k) sprintf ('r%d', k), (1:10)', 'UniformOutput', false);
%! err = batch_error ('vorlex:batchExec:rowFailed', c, sql, '%int4 %text', struct ('a', a, 'b', {b}));
%! assert (! isempty (strfind (err.message, 'row 5 of 10')), err.message);
%! assert (! isempty (strfind (err.message, 'bx_fail_a_check')), err.message);
%! assert_untouched (c, 'bx_fail', 0);
%! ## Far into a long batch, after many rows have run.
%! a = int32 ((1:5000)');
%! a(4321) = 0;
%! err = batch_error ('vorlex:batchExec:rowFailed', c, sql, '%int4 %text', ...
%!                    struct ('a', a, 'b', {repmat({'x'}, 5000, 1)}));
%! assert (! isempty (strfind (err.message, 'row 4321 of 5000')), err.message);
%! assert_untouched (c, 'bx_fail', 0);
%! ## A statement the server will not prepare: no row is named.
%! err = batch_error ('vorlex:batchExec:prepareFailed', c, 'insert into bx_no_such_table values ($1)', ...
%!                    '%int4', struct ('a', int32 ((1:10)')));
%! assert (isempty (regexp (err.message, 'row \d', 'once')), err.message);
%! assert (! isempty (strfind (err.message, 'bx_no_such_table')), err.message);
%! assert_untouched (c, 'bx_fail', 0);
%! err = batch_error ('vorlex:batchExec:prepareFailed', c, 'selec $1', '%int4', struct ('a', int32 (1)));
%! assert_untouched (c, 'bx_fail', 0);
%! ## The same batch without the bad row is kept whole.
%! a = int32 ((1:10)');
%! vorlex ('batchExec', c, sql, '%int4 %text', struct ('a', a, 'b', {b}));
%! assert_untouched (c, 'bx_fail', 10);
%! assert (value_of (c, 'select string_agg(b, '','' order by a) from bx_fail'), strjoin (b', ','));
%! vorlex ('exec', c, 'drop table bx_fail');

%!test
%! ## A value that cannot be built in the middle of the batch: the error
%! ## starts with its row, and the rows sent before it are not kept.
%! vorlex ('exec', c, 'create temp table bx_client (a int4, b text)');
%! sql = 'insert into bx_client values ($1, $2)';
%! b = arrayfun (@(k) sprintf ('r%d', k), (1:10)', 'UniformOutput', false);
%! b{7} = 7;
%! err = batch_error ('vorlex:batchExec:wrongClass', c, sql, '%int4 %text', ...
%!                    struct ('a', int32 ((1:10)'), 'b', {b}));
%! assert (strncmp (err.message, 'vorlex: row 7:', 14), err.message);
%! assert_untouched (c, 'bx_client', 0);
%! ## Row 1500 of 2000: a good many rows have gone to the server and run.
%! b = repmat ({'x'}, 2000, 1);
%! b{1500} = ['a' char(0) 'b'];
%! err = batch_error ('vorlex:batchExec:textHasNul', c, sql, '%int4 %text', ...
%!                    struct ('a', int32 ((1:2000)'), 'b', {b}));
%! assert (strncmp (err.message, 'vorlex: row 1500:', 17), err.message);
%! assert_untouched (c, 'bx_client', 0);
%! ## An element mask of the wrong shape in row 3.
%! err = batch_error ('vorlex:batchExec:elementNullsShape', c, 'insert into bx_client (b) values ($1::text)', ...
%!                    '%int4[]', struct ('a', {{1; 2; [3 4]; 5}}), ...
%!                    struct ('a', {{false; false; false; false}}));
%! assert (strncmp (err.message, 'vorlex: row 3:', 14), err.message);
%! assert_untouched (c, 'bx_client', 0);
%! ## An array with an extent of 0 in row 2.
%! err = batch_error ('vorlex:batchExec:emptyShape', c, 'insert into bx_client (b) values ($1::text)', ...
%!                    '%int4[]', struct ('a', {{1; zeros(0, 3)}}));
%! assert (strncmp (err.message, 'vorlex: row 2:', 14), err.message);
%! assert_untouched (c, 'bx_client', 0);
%! ## Then a batch on the same connection works.
%! vorlex ('batchExec', c, sql, '%int4 %text', struct ('a', int32 ([1; 2]), 'b', {{'p'; 'q'}}));
%! assert_untouched (c, 'bx_client', 2);
%! vorlex ('exec', c, 'drop table bx_client');

%!test
%! ## Inside the caller's transaction: a batch joins it (COMMIT keeps its
%! ## rows, ROLLBACK drops them); a failing batch leaves it aborted until
%! ## ROLLBACK, after which the connection works and no statement is left.
%! vorlex ('exec', c, 'create temp table bx_tx (a int4 check (a > 0))');
%! unwind_protect
%!   sql = 'insert into bx_tx values ($1)';
%!   vorlex ('exec', c, 'begin');
%!   vorlex ('batchExec', c, sql, '%int4', struct ('a', int32 ([1; 2; 3])));
%!   vorlex ('exec', c, 'commit');
%!   assert_untouched (c, 'bx_tx', 3);
%!   vorlex ('exec', c, 'begin');
%!   vorlex ('batchExec', c, sql, '%int4', struct ('a', int32 ([4; 5])));
%!   assert (count_of (c, 'select count(*) from bx_tx'), 5);
%!   vorlex ('exec', c, 'rollback');
%!   assert_untouched (c, 'bx_tx', 3);
%!   ## A value refused on the client, a statement refused by the server, a
%!   ## row refused by the server.
%!   failures = {
%!     'vorlex:batchExec:wrongClass',    sql,                                 struct('a', {{6; 7; 'x'}})
%!     'vorlex:batchExec:prepareFailed', 'insert into bx_tx values ($1, $1)', struct('a', int32([6; 7]))
%!     'vorlex:batchExec:rowFailed',     sql,                                 struct('a', int32([6; -7; 8]))
%!   };
%!   for k = 1:rows (failures)
%!     vorlex ('exec', c, 'begin');
%!     vorlex ('exec', c, 'insert into bx_tx values (100)');
%!     batch_error (failures{k,1}, c, failures{k,2}, '%int4', failures{k,3});
%!     r = vorlex ('execText', c, 'select 1');
%!     assert (vorlex ('resultStatus', r), 7);
%!     assert (! isempty (strfind (vorlex ('resultErrorMessage', r), 'aborted')));
%!     vorlex ('clear', r);
%!     vorlex ('exec', c, 'rollback');
%!     assert (count_of (c, 'select count(*) from bx_tx'), 3);
%!     assert (count_of (c, 'select 41 + 1'), 42);
%!     vorlex ('batchExec', c, 'select $1', '%int4', struct ('a', int32 ([1; 2])));
%!     ## A row the server refuses aborts the transaction before the closing
%!     ## DEALLOCATE runs, and an aborted transaction runs nothing but its
%!     ## end: that statement stays for the rest of the session.
%!     if (! strcmp (failures{k,1}, 'vorlex:batchExec:rowFailed'))
%!       names = value_of (c, 'select coalesce(string_agg(name, '',''), '''') from pg_prepared_statements');
%!       assert (isempty (names), sprintf ('after %s: left %s', failures{k,1}, names));
%!     end
%!   end
%! unwind_protect_cleanup
%!   ## End a transaction a failed check may have left open, quietly.
%!   vorlex ('execText', c, 'set client_min_messages = error');
%!   vorlex ('execText', c, 'rollback');
%!   vorlex ('exec', c, 'reset client_min_messages');
%!   vorlex ('exec', c, 'deallocate all');
%!   vorlex ('exec', c, 'drop table bx_tx');
%! end_unwind_protect

%!test
%! ## 100,000 rows of four types, checked by aggregates on the server.
%! m = 100000;
%! i = int32 ((1:m)');
%! x = double (i) / 4;
%! t = strsplit (sprintf ('r%d,', 1:m), ',');
%! t = t(1:m)';
%! ts = datenum (2024, 1, 1) + double (i) / 86400;
%! vorlex ('exec', c, 'create temp table bx_big (i int4, x float8, t text, ts timestamp)');
%! vorlex ('batchExec', c, 'insert into bx_big values ($1, $2, $3, $4)', ...
%!         '%int4 %float8 %text %timestamp', struct ('i', i, 'x', x, 't', {t}, 'ts', ts));
%! assert_untouched (c, 'bx_big', m);
%! assert (count_of (c, 'select count(distinct i) from bx_big'), m);
%! assert (count_of (c, 'select min(i) from bx_big'), 1);
%! assert (count_of (c, 'select max(i) from bx_big'), m);
%! assert (count_of (c, 'select sum(i) from bx_big'), m * (m + 1) / 2);
%! assert (count_of (c, 'select sum(x) from bx_big'), sum (x));
%! assert (count_of (c, 'select count(*) from bx_big where x <> i::float8 / 4'), 0);
%! assert (count_of (c, 'select sum(length(t)) from bx_big'), sum (cellfun ('length', t)));
%! assert (count_of (c, 'select count(*) from bx_big where t <> ''r'' || i'), 0);
%! assert (count_of (c, ['select max(abs(extract(epoch from ts - timestamp ''2024-01-01'') - i))' ...
%!                       '::float8 from bx_big']) < 1e-3);
%! vorlex ('exec', c, 'drop table bx_big');

%!test
%! ## Values of a megabyte each: the stream waits for the socket to take
%! ## them, and every byte arrives.
%! m = 20;
%! text = repmat ('abcdefghij', 1, 100000);
%! text(end) = 'z';
%! t = repmat ({text}, m, 1);
%! t{7}(1) = 'Q';
%! bytes = repmat (uint8 (0:249), m, 4000);
%! bytes(:,end) = uint8 (1:m)';
%! vorlex ('exec', c, 'create temp table bx_large (k serial, t text, b bytea)');
%! vorlex ('batchExec', c, 'insert into bx_large (t, b) values ($1, $2)', '%text %bytea', ...
%!         struct ('t', {t}, 'b', bytes));
%! assert_untouched (c, 'bx_large', m);
%! assert (count_of (c, 'select sum(length(t)) from bx_large'), m * 1e6);
%! assert (count_of (c, 'select sum(length(b)) from bx_large'), m * 1e6);
%! assert (count_of (c, ['select count(*) from bx_large where right(t, 1) = ''z'' ' ...
%!                       'and left(t, 1) = case k when 7 then ''Q'' else ''a'' end']), m);
%! assert (count_of (c, ['select count(*) from bx_large where get_byte(b, 999999) = k ' ...
%!                       'and get_byte(b, 0) = 0 and get_byte(b, 249) = 249 and get_byte(b, 250) = 0']), m);
%! vorlex ('exec', c, 'drop table bx_large');

%!test
%! ## A statement that starts a COPY cannot run in a batch.  A COPY TO STDOUT
%! ## is read to its end and the connection is ready for the next command; a
%! ## COPY FROM STDIN takes the rest of the stream for its data, so the server
%! ## ends the connection: the error says so, and reset brings it back.
%! vorlex ('exec', c, 'create temp table bx_copy (a int4)');
%! rows = struct ('a', int32 ((1:10)'));
%! batch_error ('vorlex:batchExec:rowFailed', c, 'copy (select 1) to stdout', '%int4', rows);
%! vorlex ('batchExec', c, 'insert into bx_copy values ($1)', '%int4', rows);
%! assert_untouched (c, 'bx_copy', 10);
%! unwind_protect
%!   try
%!     vorlex ('batchExec', c, 'copy bx_copy from stdin', '%int4', rows);
%!     error ('a COPY batch passed');
%!   catch err
%!     assert (err.identifier, 'vorlex:batchExec:connectionLost');
%!     assert (! isempty (regexp (err.message, 'row 1 of 10 failed.*: a COPY cannot run in a batch')), err.message);
%!     assert (! isempty (strfind (err.message, 'reset restores it')), err.message);
%!   end_try_catch
%!   evalc ('s = vorlex (''status'', c);');
%!   assert (s, 1);
%! unwind_protect_cleanup
%!   vorlex ('reset', c);
%! end_unwind_protect
%! assert (vorlex ('status', c), 0);
%! assert (count_of (c, 'select 41 + 1'), 42);

%!test
%! ## A connection whose backend is gone: an error, not a crash; reset
%! ## brings it back and a batch works again.
%! victim = vorlex ('connect', '');
%! killer = vorlex ('connect', '');
%! unwind_protect
%!   pid = value_of (victim, 'select pg_backend_pid()');
%!   value_of (killer, sprintf ('select pg_terminate_backend(%d, 10000)', pid));
%!   rows = struct ('a', int32 ((1:100)'));
%!   for attempt = 1:2
%!     try
%!       vorlex ('batchExec', victim, 'select $1', '%int4', rows);
%!       error ('a batch on a lost connection passed');
%!     catch err
%!       assert (strcmp (err.identifier, 'vorlex:batchExec:connectionLost'), err.message);
%!     end_try_catch
%!   end
%!   vorlex ('reset', victim);
%!   assert (vorlex ('status', victim), 0);
%!   vorlex ('exec', victim, 'create temp table bx_lost (a int4)');
%!   vorlex ('batchExec', victim, 'insert into bx_lost values ($1)', '%int4', rows);
%!   assert_untouched (victim, 'bx_lost', 100);
%!   ## Lost in the middle of the stream: row 50 ends its own backend.  The
%!   ## connection is reported bad, and reset opens it again.
%!   try
%!     vorlex ('batchExec', victim, 'select pg_terminate_backend(pg_backend_pid()) where $1 = 50', ...
%!             '%int4', rows);
%!     error ('a batch that lost its connection passed');
%!   catch err
%!     assert (strcmp (err.identifier, 'vorlex:batchExec:connectionLost'), err.message);
%!   end_try_catch
%!   evalc ('s = vorlex (''status'', victim);');
%!   assert (s, 1);
%!   vorlex ('reset', victim);
%!   assert (vorlex ('status', victim), 0);
%!   vorlex ('exec', victim, 'create temp table bx_lost (a int4)');
%!   vorlex ('batchExec', victim, 'insert into bx_lost values ($1)', '%int4', rows);
%!   assert_untouched (victim, 'bx_lost', 100);
%! unwind_protect_cleanup
%!   vorlex ('finish', victim);
%!   vorlex ('finish', killer);
%! end_unwind_protect

%!test
%! vorlex ('finish', c);
