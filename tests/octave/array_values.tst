## Arrays: shapes, flattening, element masks, and every element type.

%!shared c
%! c = vorlex ('connect', '');

%!test
%! ## The 2x3 example plain and flattened ("@"); a 1-D array reads back as a
%! ## column; "@" on the read gives the column-major listing, m(:).
%! m = int32 ([1 2 3; 4 5 6]);
%! [s, t] = put_and_get (c, '%int4[]', m);
%! assert (t, '{{1,2,3},{4,5,6}}');
%! assert (s.value, {m});
%! assert (s.valueIsNull, {false(2, 3)});
%! assert (s.rowIsNull, false);
%! [s, t] = put_and_get (c, '%int4[]@', m);
%! assert (t, '{1,4,2,5,3,6}');
%! assert (s.value, {int32([1; 4; 2; 5; 3; 6])});
%! [s, t] = put_and_get (c, '%int4[]', int32 ([7 8 9]));
%! assert (t, '{{7,8,9}}');
%! p = vorlex ('paramCreate', c);
%! vorlex ('paramPut', p, '%int4[]', m);
%! r = vorlex ('paramExec', c, p, 'select $1');
%! s = vorlex ('resultGet', r, '%int4[]@', 0);
%! assert (s.value, {m(:)});
%! vorlex ('clear', r);
%! vorlex ('paramClear', p);

%!test
%! ## Three dimensions: a(i,j,k) is the server's a[i][j][k].
%! a = reshape (int16 (1:24), 2, 3, 4);
%! p = vorlex ('paramCreate', c);
%! vorlex ('paramPut', p, '%int2[]', a);
%! r = vorlex ('paramExec', c, p, 'select $1, $1[2][3][4], $1[1][2][3], array_dims($1)');
%! [s, x, y, d] = vorlex ('resultGet', r, '%int2[] %int2 %int2 %text', 0, 1, 2, 3);
%! assert (s.value, {a});
%! assert (x.value, a(2, 3, 4));
%! assert (y.value, a(1, 2, 3));
%! assert (d.value, {'[1:2][1:3][1:4]'});
%! vorlex ('clear', r);
%! vorlex ('paramClear', p);

%!test
%! ## Empty arrays: 0x0 goes as the empty array and reads back 0x0; 0x3 is
%! ## refused unless "!" follows the specifier.
%! [s, t] = put_and_get (c, '%float8[]', []);
%! assert (t, '{}');
%! assert (size (s.value{1}), [0 0]);
%! assert (class (s.value{1}), 'double');
%! p = vorlex ('paramCreate', c);
%! try
%!   vorlex ('paramPut', p, '%float8[]', zeros (0, 3));
%!   error ('0x3 accepted');
%! catch err
%!   assert (err.identifier, 'vorlex:paramPut:emptyShape');
%! end_try_catch
%! assert (vorlex ('paramCount', p), int32 (0));
%! vorlex ('paramPut', p, '%float8[]!', zeros (0, 3));
%! assert (vorlex ('paramCount', p), int32 (1));
%! vorlex ('paramClear', p);

%!test
%! ## Element masks through the wrapper, for fixed-width, text and numeric
%! ## (which goes element by element) arrays.
%! w = struct ('value', [1.5 2.5 3.5], 'valueIsNull', logical ([0 1 0]));
%! [s, t] = put_and_get (c, '%float8[]', w);
%! assert (t, '{{1.5,NULL,3.5}}');
%! assert (s.valueIsNull, {logical([0 1 0])});
%! assert (s.value, {[1.5 0 3.5]});
%! w = struct ('value', {{'a', 'x'; 'b c', '"q"'}}, 'valueIsNull', logical ([0 1; 0 0]));
%! [s, t] = put_and_get (c, '%text[]', w);
%! assert (t, '{{a,NULL},{"b c","\"q\""}}');
%! assert (s.value{1}([1 2 4]), {'a', 'b c', '"q"'});
%! assert (s.valueIsNull, {logical([0 1; 0 0])});
%! w = struct ('value', {{'1.50', 'x', '-Infinity'}}, 'valueIsNull', logical ([0 1 0]));
%! [s, t] = put_and_get (c, '%numeric[]', w);
%! assert (t, '{{1.50,NULL,-Infinity}}');
%! assert (s.value{1}([1 3]), {'1.50', '-Infinity'});
%! [s, t] = put_and_get (c, '%numeric[]@', {'1', '2'; '3', '4'});
%! assert (t, '{1,3,2,4}');
%! ## The whole array NULL through the null flag.
%! w = struct ('value', 1, 'valueIsNull', true, 'rowIsNull', true);
%! [s, t] = put_and_get (c, '%int4[]', w);
%! assert (isempty (t));
%! assert (s.rowIsNull, true);
%! assert (s.valueIsNull, {false(0, 0)});
%! assert (class (s.value{1}), 'int32');

%!test
%! ## Every element type once, checked on the server by its text form.
%! vorlex ('exec', c, 'set timezone = ''UTC''');
%! cases = {
%!   '%bool[]',        logical([1 0]),       '{{t,f}}'
%!   '%int2[]',        int16([-1 2]),        '{{-1,2}}'
%!   '%int4[]',        [2.9 -2.9],            '{{2,-2}}'
%!   '%int8[]',        intmax('int64'),       '{{9223372036854775807}}'
%!   '%float4[]',      single([0.5 -Inf]),   '{{0.5,-Infinity}}'
%!   '%float8[]',      [NaN 1e300],           '{{NaN,1e+300}}'
%!   '%timestamp[]',   730486.25,             '{{"2000-01-01 06:00:00"}}'
%!   '%timestamptz[]', 730486.25,             '{{"2000-01-01 06:00:00+00"}}'
%!   '%time[]',        0.75,                  '{{18:00:00}}'
%!   '%timetz[]',      0.75,                  '{{18:00:00+00}}'
%!   '%date[]',        [730486 730487],       '{{2000-01-01,2000-01-02}}'
%!   '%name[]',        {'n'},                 '{{n}}'
%!   '%text[]',        {'', 'NULL'},          '{{"","NULL"}}'
%!   '%json[]',        {'{"a":1}'},           '{{"{\"a\":1}"}}'
%!   '%xml[]',         {'<x/>'},              '{{<x/>}}'
%!   '%bpchar[]',      {'ab'},                '{{ab}}'
%!   '%varchar[]',     {'v w'},               '{{"v w"}}'
%!   '%bytea[]',       {uint8([1 2]), uint8([])}, '{{"\\x0102","\\x"}}'
%!   '%numeric[]',     {'-0.001'},            '{{-0.001}}'
%! };
%! for k = 1:rows (cases)
%!   [s, t] = put_and_get (c, cases{k,1}, cases{k,2});
%!   assert (t, cases{k,3}, cases{k,1});
%!   v = cases{k,2};
%!   if (isnumeric (v) && ! strcmp (cases{k,1}, '%float4[]') && ! strncmp (cases{k,1}, '%int', 4) ...
%!       || islogical (v) || iscell (v))
%!     assert (isequaln (s.value{1}, v), cases{k,1});
%!   end
%! end

%!test
%! ## A NULL element in an array of every type, and a NULL array of every
%! ## type, in both output modes.  (serbytea takes any struct as a value to
%! ## serialise, so only serbytea_wn has wrappers and NULLs.)
%! names = {'bool','int2','int4','int8','float4','float8','timestamp','timestamptz', ...
%!          'time','timetz','date','name','text','json','xml','bpchar','varchar', ...
%!          'bytea','numeric','serbytea_wn'};
%! cells = struct ('bytea', {{uint8(1), uint8(2)}}, 'numeric', {{'1', '2'}}, ...
%!                 'serbytea_wn', {{1, 2}}, 'json', {{'1', '2'}});
%! for n = 1:numel (names)
%!   if (isfield (cells, names{n}))
%!     v = cells.(names{n});
%!   elseif (any (strcmp (names{n}, {'name','text','xml','bpchar','varchar'})))
%!     v = {'a', 'b'};
%!   else
%!     v = [1 0.5];
%!   end
%!   format = ['%' names{n} '[]'];
%!   w = struct ('value', {v}, 'valueIsNull', logical ([0 1]));
%!   [s, t] = put_and_get (c, format, w, 'columnVectors', false);
%!   assert (! isempty (regexp (t, ',NULL}}$', 'once')), format);
%!   assert (isequal (s.valueIsNull, {logical([0 1])}), format);
%!   w.rowIsNull = true;
%!   [s, t] = put_and_get (c, format, w);
%!   assert (isempty (t), format);
%!   assert (s.rowIsNull, true);
%! end
