## Scalars of every type: paramPut sends them, the server's text shows what
## arrived, and resultGet reads them back in both output modes.

%!shared c
%! c = vorlex ('connect', '');

%!test
%! ## Numbers and bool: the value, its class, and the server's text.
%! cases = {
%!   '%int2',   int16(-32768),  '-32768',  'int16'
%!   '%int4',   int32(2147483647), '2147483647', 'int32'
%!   '%int8',   intmax('int64'), '9223372036854775807', 'int64'
%!   '%float4', single(1.5),    '1.5',     'single'
%!   '%float8', -0.125,         '-0.125',  'double'
%!   '%float8', Inf,            'Infinity', 'double'
%!   '%bool',   true,           'true',    'logical'
%!   '%bool',   false,          'false',   'logical'
%! };
%! for k = 1:rows (cases)
%!   [s, t] = put_and_get (c, cases{k,1}, cases{k,2});
%!   assert (t, cases{k,3});
%!   assert (class (s.value), cases{k,4});
%!   assert (s.value, cases{k,2});
%!   assert (s.valueIsNull, false);
%!   assert (s.rowIsNull, false);
%!   s = put_and_get (c, cases{k,1}, cases{k,2}, 'columnVectors', false);
%!   assert (s.value, cases(k,2));
%!   assert (s.valueIsNull, {false});
%! end
%! [s, t] = put_and_get (c, '%float8', NaN);
%! assert (t, 'NaN');
%! assert (isnan (s.value));

%!test
%! ## Doubles for the numeric-like types: truncation toward zero, low bits
%! ## for int2 and bool, rounding to single for float4.
%! [~, t] = put_and_get (c, '%int4', 2.7);   assert (t, '2');
%! [~, t] = put_and_get (c, '%int4', -1.9);  assert (t, '-1');
%! [~, t] = put_and_get (c, '%int2', 40000); assert (t, '-25536');
%! [~, t] = put_and_get (c, '%int8', 2^53 + 0.5); assert (t, '9007199254740992');
%! [~, t] = put_and_get (c, '%bool', 2);     assert (t, 'true');
%! [~, t] = put_and_get (c, '%bool', 256);   assert (t, 'false');
%! [s, t] = put_and_get (c, '%float4', 0.1);
%! assert (s.value, single (0.1));

%!testif ; ! strcmp (getenv ('VORLEX_HOST_BACKEND'), 'mex')
%! ## Integer literals beyond 2^53, which Octave keeps as exact integers in
%! ## calls and cells until it stores them: every writing command sends the
%! ## double they stand for (Octave's backend reads them; the MX functions
%! ## hand out the integer's bits).  Each literal is typed in the call's text.
%! literals = {9007199254740992, 2^53;  9007199254740994, 2^53 + 2
%!             10000000000000000, 1e16;  -1152921504606846976, -2^60};
%! vorlex ('exec', c, 'create temp table big_literals (k int4, via text, v float8)');
%! p = vorlex ('paramCreate', c);
%! for k = 1:rows (literals)
%!   vorlex ('query', c, 'insert into big_literals values ($1, ''query'', $2)', {k, literals{k,1}});
%!   vorlex ('paramPut', p, '%int4 %float8', int32 (k), literals{k,1});
%!   vorlex ('paramExec', c, p, 'insert into big_literals values ($1, ''paramPut'', $2)');
%!   vorlex ('paramReset', p);
%!   vorlex ('batchExec', c, 'insert into big_literals values ($1, ''batchExec'', $2)', ...
%!           '%int4 %float8', struct ('k', int32 (k), 'v', literals{k,1}));
%!   vorlex ('copyIn', c, 'big_literals', '%int4 %text %float8', ...
%!           struct ('k', int32 (k), 'via', {{'copyIn'}}, 'v', literals{k,1}));
%!   vorlex ('insert', c, 'big_literals', struct ('k', int32 (k), 'via', {{'insert'}}, 'v', literals{k,1}));
%! end
%! vorlex ('paramClear', p);
%! got = vorlex ('query', c, 'select k, via, v from big_literals order by via, k');
%! assert (numel (got.k), 5 * rows (literals));
%! wrong = find (got.v != [literals{double (got.k), 2}]');
%! assert (isempty (wrong), sprintf ('%s sent %g; ', [got.via(wrong)'; num2cell(got.v(wrong))']{:}));

%!test
%! ## Date numbers for the five date/time types.
%! [s, t] = put_and_get (c, '%timestamp', 730486.5);
%! assert (t, '2000-01-01 12:00:00');
%! assert (s.value, 730486.5);
%! [s, t] = put_and_get (c, '%date', 730486 + 1.25);
%! assert (t, '2000-01-02');
%! assert (s.value, 730487);
%! [s, t] = put_and_get (c, '%time', 0.25);
%! assert (t, '06:00:00');
%! assert (s.value, 0.25);
%! [s, t] = put_and_get (c, '%timetz', 0.5);
%! assert (t, '12:00:00+00');
%! assert (s.value, 0.5);
%! vorlex ('exec', c, 'set timezone = ''UTC''');
%! [s, t] = put_and_get (c, '%timestamptz', datenum (2024, 2, 29, 18, 0, 0));
%! assert (t, '2024-02-29 18:00:00+00');
%! assert (s.value, datenum (2024, 2, 29, 18, 0, 0));
%! ## Date numbers of our time resolve about 10 microseconds.
%! [s, t] = put_and_get (c, '%timestamp', datenum (2024, 2, 29, 23, 59, 30));
%! assert (strncmp (t, '2024-02-29 23:59:30', 19));
%! assert (abs (s.value - datenum (2024, 2, 29, 23, 59, 30)) < 2e-10);

%!test
%! ## Text-like types, numeric and bytea come back as cells.
%! texts = {'%text', 'h€llo'; '%varchar', 'v'; '%bpchar', 'b c'; '%name', 'nm';
%!          '%json', '{"a": [1, 2]}'; '%xml', '<a>x</a>'; '%numeric', '-12.3400'};
%! for k = 1:rows (texts)
%!   [s, t] = put_and_get (c, texts{k,1}, texts{k,2});
%!   assert (t, texts{k,2});
%!   assert (s.value, texts(k,2));
%!   assert (s.valueIsNull, false);
%! end
%! [s, t] = put_and_get (c, '%numeric', '0.5');
%! assert (s.value, {'0.5'});
%! [s, t] = put_and_get (c, '%numeric', 'NaN');
%! assert (s.value, {'NaN'});
%! [s, t] = put_and_get (c, '%bytea', uint8 ([0 1 255]));
%! assert (t, '\x0001ff');
%! assert (s.value, {uint8([0 1 255])});
%! ## Empty texts and bytea are zero-length values, not NULL.
%! [s, t] = put_and_get (c, '%text', '');
%! assert (s.rowIsNull, false);
%! assert (s.value, {''});
%! [s, t] = put_and_get (c, '%bytea', uint8 ([]));
%! assert (t, '\x');
%! assert (s.rowIsNull, false);
%! assert (size (s.value{1}), [0 0]);
%! assert (class (s.value{1}), 'uint8');

%!test
%! ## NULL through the wrapper's null flag or its scalar mask, for every
%! ## type, read back in both modes.
%! formats = {'%bool','%int2','%int4','%int8','%float4','%float8','%timestamp', ...
%!          '%timestamptz','%time','%timetz','%date','%name','%text','%json', ...
%!          '%xml','%bpchar','%varchar','%bytea','%numeric','%serbytea_wn'};
%! empty = struct ('value', 1, 'valueIsNull', true);
%! flagged = struct ('value', 'ignored', 'valueIsNull', false, 'rowIsNull', true);
%! for k = 1:numel (formats)
%!   [s, t] = put_and_get (c, formats{k}, flagged);
%!   assert (isempty (t), formats{k});
%!   assert (s.rowIsNull, true);
%!   [s, t] = put_and_get (c, formats{k}, flagged, 'columnVectors', false);
%!   assert (s.valueIsNull, {true});
%!   assert (isempty (s.value{1}));
%! end
%! [s, t] = put_and_get (c, '%int4', empty);
%! assert (isempty (t));
%! assert (s.value, int32 (0));
%! assert (s.valueIsNull, true);
%! [s, t] = put_and_get (c, '%int4', struct ('value', int32 (7), 'valueIsNull', false));
%! assert (t, '7');

%!test
%! ## The column of 1, NULL, 3 in both modes; a result without rows.
%! r = vorlex ('exec', c, 'select * from (values (1), (null), (3)) v(a)');
%! s = vorlex ('resultGet', r, '%int4', 0);
%! assert (s.value, int32 ([1; 0; 3]));
%! assert (s.valueIsNull, [false; true; false]);
%! assert (s.rowIsNull, [false; true; false]);
%! s = vorlex ('resultGet', r, '%int4', 0, 'COLUMNVECTORS', false);
%! assert (s.value, {int32(1); zeros(0, 0, 'int32'); int32(3)});
%! assert (s.valueIsNull, {false; true; false});
%! assert (s.rowIsNull, [false; true; false]);
%! vorlex ('clear', r);
%! r = vorlex ('exec', c, 'select 1::int4 a, $$x$$::text b where false');
%! [a, b] = vorlex ('resultGet', r, '%int4 #text', 0, 'b');
%! assert (size (a.value), [0 1]);
%! assert (class (a.value), 'int32');
%! assert (size (b.value), [0 1]);
%! assert (iscell (b.value));
%! assert (size (b.rowIsNull), [0 1]);
%! vorlex ('clear', r);

%!test
%! ## Text columns always give cells; their NULL is a 0x0 char.
%! r = vorlex ('exec', c, 'select * from (values ($$a$$), (null)) v(t)');
%! s = vorlex ('resultGet', r, '%text', 0);
%! assert (s.value, {'a'; ''});
%! assert (class (s.value{2}), 'char');
%! assert (s.valueIsNull, [false; true]);
%! vorlex ('clear', r);

%!test
%! ## A text-format result is read through libpqtypes' text parsing.
%! r = vorlex ('execText', c, 'select 41::int4 + 1, 2.5::float8, $$t$$::text');
%! [a, b, t] = vorlex ('resultGet', r, '%int4 %float8 %text', 0, 1, 2);
%! assert (a.value, int32 (42));
%! assert (b.value, 2.5);
%! assert (t.value, {'t'});
%! vorlex ('clear', r);

%!test
%! ## A double the type has no value for is refused, not turned into 0, false
%! ## or a date of year 0: by paramPut, batchExec and copyIn alike, in scalars
%! ## and array elements, with the row and the way to send NULL named.  Finite
%! ## doubles still truncate toward zero, and int2 and bool keep the low bits;
%! ## timestamp and date take +-Inf as infinity.
%! refused = {
%!   '%int2', 'a', NaN;   '%int4', 'b', Inf;  '%int8', 'c', -Inf;  '%int4', 'b', NaN;
%!   '%bool', 'd', NaN;   '%bool', 'd', Inf;  '%date', 'e', NaN;   '%time', 'f', Inf;
%!   '%timetz', 'g', NaN;  '%timestamp', 'h', NaN;  '%timestamptz', 'i', NaN;
%!   '%int8[]', 'j', NaN;  '%date[]', 'k', NaN
%! };
%! vorlex ('exec', c, ['create temp table nan_target (a int2, b int4, c int8, d bool, ' ...
%!                     'e date, f time, g timetz, h timestamp, i timestamptz, j int8[], k date[])']);
%! for k = 1:rows (refused)
%!   [format, column, bad] = refused{k,:};
%!   word = {'NaN', 'Inf', '-Inf'}{find ([isnan(bad), bad == Inf, bad == -Inf])};
%!   isarray = any (format == '[');
%!   value = bad;
%!   rows_ = [1; bad; 3];
%!   if (isarray)
%!     value = [1 bad];
%!     rows_ = [1 2; bad 4; 5 6];
%!   end
%!   p = vorlex ('paramCreate', c);
%!   try
%!     vorlex ('paramPut', p, format, value);
%!     error ('paramPut sent %s as %s', word, format);
%!   catch err
%!     assert (err.identifier, 'vorlex:paramPut:putFailed');
%!     assert (strfind (err.message, [word ' cannot be sent']));
%!     assert (strfind (err.message, 'valueIsNull'));
%!   end_try_catch
%!   vorlex ('paramClear', p);
%!   try
%!     vorlex ('batchExec', c, sprintf ('insert into nan_target (%s) values ($1)', column), format, struct ('x', rows_));
%!     error ('batchExec sent %s as %s', word, format);
%!   catch err
%!     assert (err.identifier, 'vorlex:batchExec:putFailed');
%!     assert (strfind (err.message, 'row 2: parameter 1'), 1 + numel ('vorlex: '));
%!   end_try_catch
%!   try
%!     vorlex ('copyIn', c, sprintf ('nan_target (%s)', column), format, struct ('x', rows_));
%!     error ('copyIn sent %s as %s', word, format);
%!   catch err
%!     assert (err.identifier, 'vorlex:copyIn:putFailed');
%!     assert (strfind (err.message, 'row 2: parameter 1'), 1 + numel ('vorlex: '));
%!   end_try_catch
%! end
%! r = vorlex ('exec', c, 'select count(*)::int4 from nan_target');
%! assert (vorlex ('resultGet', r, '%int4', 0).value, int32 (0));
%! kept = {
%!   '%int4', -2.9, '-2';  '%int2', 65537, '1';  '%bool', 256, 'false';  '%bool', 2.5, 'true'
%!   '%timestamp', Inf, 'infinity';  '%date', -Inf, '-infinity'
%! };
%! for k = 1:rows (kept)
%!   [~, t] = put_and_get (c, kept{k,1}, kept{k,2});
%!   assert (t, kept{k,3}, kept{k,1});
%! end
