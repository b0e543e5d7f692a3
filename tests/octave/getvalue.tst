## getValue: one value of a text-format result, converted by its type.

%!shared c
%! c = vorlex ('connect', '');

%!function v = value_of (c, sql)
%! r = vorlex ('execText', c, sql);
%! unwind_protect
%!   v = vorlex ('getValue', r, 0, 0);
%! unwind_protect_cleanup
%!   vorlex ('clear', r);
%! end_unwind_protect
%!endfunction

%!test
%! ## Floats become doubles, with infinities and NaN however spelled.
%! assert (value_of (c, "select 'Infinity'::float8"), Inf);
%! assert (value_of (c, "select '-Infinity'::float8"), -Inf);
%! assert (isnan (value_of (c, "select 'nan'::float8")));
%! assert (value_of (c, "select '-1.5e3'::float8"), -1500);
%! assert (value_of (c, "select '-inf'::float4"), -Inf);
%! v = value_of (c, "select 0.25::float4");
%! assert (class (v), 'double');
%! assert (v, 0.25);

%!test
%! ## int8 comes back exactly as int64; int2 and int4 as int32.
%! v = value_of (c, 'select 9007199254740993::int8');
%! assert (class (v), 'int64');
%! assert (v - int64 (9007199254740992), int64 (1));
%! assert (value_of (c, "select '-9223372036854775808'::int8"), intmin ('int64'));
%! assert (value_of (c, "select '-32768'::int2"), int32 (-32768));
%! assert (value_of (c, 'select 2147483647::int4'), intmax ('int32'));

%!test
%! ## NULL is the empty char array, whatever the type.
%! for type = {'int4', 'int8', 'float8', 'int4[]', 'text[]', 'text'}
%!   v = value_of (c, sprintf ('select null::%s', type{1}));
%!   assert (ischar (v) && size (v, 1) == 0 && size (v, 2) == 0, type{1});
%! end

%!test
%! ## Numeric arrays become double matrices laid out as written.
%! assert (value_of (c, "select '{1,2,3}'::int4[]"), [1; 2; 3]);
%! assert (value_of (c, "select '{{1,2,3},{4,5,6}}'::int4[]"), [1 2 3; 4 5 6]);
%! assert (value_of (c, "select '{{7},{8}}'::int2[]"), [7; 8]);
%! assert (value_of (c, "select '{1.5,-Infinity,NaN}'::float8[]"), [1.5; -Inf; NaN]);
%! assert (value_of (c, "select '{{0.5,-1e-3}}'::float4[]"), [0.5 -1e-3], 1e-7);
%! ## Forms not taken apart come back as their text.
%! assert (value_of (c, "select '{1,NULL,3}'::int4[]"), '{1,NULL,3}');
%! assert (value_of (c, "select '{}'::int4[]"), '{}');
%! assert (value_of (c, "select '[0:2]={1,2,3}'::int4[]"), '[0:2]={1,2,3}');
%! assert (value_of (c, "select '{{{1}}}'::float8[]"), '{{{1}}}');

%!test
%! ## text[] of quoted elements: one blank-padded row each, escapes kept.
%! assert (value_of (c, "select array['a b', 'c d']"), ['a b'; 'c d']);
%! assert (value_of (c, "select array['a b', 'c d e', 'f g']"), ['a b  '; 'c d e'; 'f g  ']);
%! assert (value_of (c, "select array['say \"hi\"', 'x y']"), char ('say \"hi\"', 'x y'));
%! ## Unquoted elements: the text as written.
%! assert (value_of (c, "select array['a', 'b c']"), '{a,"b c"}');
%! assert (value_of (c, "select '{}'::text[]"), '{}');

%!test
%! ## Other types: the text as the server wrote it.
%! assert (value_of (c, 'select 1.50::numeric'), '1.50');
%! assert (value_of (c, 'select true'), 't');
%! assert (value_of (c, "select 'x'::varchar"), 'x');

%!test
%! ## Any row and column of the result.
%! r = vorlex ('execText', c, 'select g, -g::float8 from generate_series (1, 3) g');
%! assert (vorlex ('getValue', r, 2, 0), int32 (3));
%! assert (vorlex ('getValue', r, 1, 1), -2);
%! vorlex ('clear', r);

%!test
%! ## Binary results are refused, while rowCount reads them.
%! r = vorlex ('exec', c, 'select 1::int4');
%! assert (vorlex ('rowCount', r), 1);
%! try
%!   vorlex ('getValue', r, 0, 0);
%!   error ('getValue read a binary result');
%! catch err
%!   assert (err.identifier, 'vorlex:getValue:binaryResult');
%! end_try_catch
%! vorlex ('clear', r);

%!test
%! vorlex ('finish', c);
