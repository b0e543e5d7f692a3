## Every specifier against values of every class and shape: each is either
## sent or refused with a vorlex identifier, and the session survives.

%!test
%! c = vorlex ('connect', '');
%! p = vorlex ('paramCreate', c);
%! names = {'bool','int2','int4','int8','float4','float8','timestamp','timestamptz', ...
%!          'time','timetz','date','name','text','json','xml','bpchar','varchar', ...
%!          'bytea','numeric','serbytea','serbytea_wn'};
%! values = {[], {}, zeros(0, 3), 1, -Inf, NaN, 1 + 2i, sparse([1 0 2]), int64(-1), ...
%!           uint64(18446744073709551615), true(2, 2), 'abc', ['ab'; 'cd'], char(zeros(1, 0)), ...
%!           uint8([0 255]), {'1', 2; [], {}}, {'x', '2.5'}, cell(2, 1), @sin, ...
%!           struct('a', {}), struct('value', {}), struct('value', 1), ...
%!           struct('value', {{'a'}}, 'valueIsNull', true(1, 1, 1)), ...
%!           struct('value', 1, 'valueIsNull', false, 'rowIsNull', false), ...
%!           ones(1, 1, 1, 1, 1, 1, 1, 2), single(3.5), int8([1 2 3])};
%! put = 0;
%! for n = 1:numel (names)
%!   for suffix = {'', '[]', '[]@', '[]!'}
%!     format = ['%' names{n} suffix{1}];
%!     for v = 1:numel (values)
%!       try
%!         vorlex ('paramPut', p, format, values{v});
%!         put += 1;
%!       catch err
%!         assert (strncmp (err.identifier, 'vorlex:', 7), ...
%!                 sprintf ('%s with value %d: %s', format, v, err.message));
%!       end_try_catch
%!     end
%!   end
%! end
%! assert (double (vorlex ('paramCount', p)), put);
%! vorlex ('paramClear', p);
%! vorlex ('finish', c);
