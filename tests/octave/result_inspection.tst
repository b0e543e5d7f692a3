## Looking into results: counts, column names and sizes, NULL flags and
## value lengths, with their argument checks.

%!shared c, r
%! c = vorlex ('connect', '');
%! r = vorlex ('execText', c, ['select g::int4 as a, ''xy''::text as "B", ' ...
%!                             'null::int8 as c from generate_series (1, 3) g']);

%!test
%! assert (vorlex ('rowCount', r), 3);
%! assert (vorlex ('fieldCount', r), 3);
%! assert (vorlex ('fieldName', r, 0), 'a');
%! assert (vorlex ('fieldName', r, 1), 'B');
%! assert (vorlex ('fieldSize', r, 0), 4);
%! assert (vorlex ('fieldSize', r, 1), -1);
%! assert (vorlex ('isNull', r, 0, 2), true);
%! assert (vorlex ('isNull', r, 0, 0), false);
%! assert (vorlex ('valueLength', r, 0, 1), 2);
%! assert (vorlex ('valueLength', r, 0, 2), 0);
%! ## Binary results as well.
%! b = vorlex ('exec', c, 'select 1::int8 as x');
%! assert (vorlex ('fieldCount', b), 1);
%! assert (vorlex ('fieldName', b, 0), 'x');
%! assert (vorlex ('valueLength', b, 0, 0), 8);
%! vorlex ('clear', b);

%!test
%! ## fieldNumber follows libpq's rules: unquoted names fold to lower case.
%! assert (vorlex ('fieldNumber', r, 'a'), 0);
%! assert (vorlex ('fieldNumber', r, 'A'), 0);
%! assert (vorlex ('fieldNumber', r, '"B"'), 1);
%! assert (vorlex ('fieldNumber', r, 'B'), -1);
%! assert (vorlex ('fieldNumber', r, 'no_such_column'), -1);
%! assert (vorlex ('fieldNumber', r, ''), -1);
%! ## A NUL does not cut the name short.
%! assert (vorlex ('fieldNumber', r, ['a' char(0) 'x']), -1);

%!test
%! ## Indices of any numeric class are truncated toward zero.
%! for index = {1, 1.9, single(1.5), int8(1), uint16(1), int64(1)}
%!   assert (vorlex ('getValue', r, index{1}, 0), int32 (2));
%!   assert (vorlex ('fieldName', r, index{1}), 'B');
%! end
%! assert (vorlex ('isNull', r, -0.5, -0.9), false);

%!test
%! ## Argument checks, in argument order, then the indices, row first.
%! gone = vorlex ('execText', c, 'select 1');
%! vorlex ('clear', gone);
%! checks = {
%!   @() vorlex ('rowCount'),                     'vorlex:rowCount:nargin'
%!   @() vorlex ('fieldCount', double (r)),       'vorlex:fieldCount:resultClass'
%!   @() vorlex ('fieldCount', [r; r]),           'vorlex:fieldCount:resultRows'
%!   @() vorlex ('fieldCount', gone),             'vorlex:fieldCount:unknownResult'
%!   @() vorlex ('fieldName', r),                 'vorlex:fieldName:nargin'
%!   @() vorlex ('fieldName', r, '0'),            'vorlex:fieldName:columnNotNumeric'
%!   @() vorlex ('fieldName', r, [0 1]),          'vorlex:fieldName:columnNotScalar'
%!   @() vorlex ('fieldName', r, 3),              'vorlex:fieldName:columnRange'
%!   @() vorlex ('fieldName', r, -1),             'vorlex:fieldName:columnRange'
%!   @() vorlex ('fieldSize', r, NaN),            'vorlex:fieldSize:columnRange'
%!   @() vorlex ('fieldSize', r, true),           'vorlex:fieldSize:columnNotNumeric'
%!   @() vorlex ('fieldNumber', r, 5),            'vorlex:fieldNumber:nameNotChar'
%!   @() vorlex ('fieldNumber', int32 (r), 5),    'vorlex:fieldNumber:resultClass'
%!   @() vorlex ('isNull', r, 0),                 'vorlex:isNull:nargin'
%!   @() vorlex ('isNull', r, [], 0),             'vorlex:isNull:rowNotScalar'
%!   @() vorlex ('isNull', r, 3, 0),              'vorlex:isNull:rowRange'
%!   @() vorlex ('isNull', r, 0, 3),              'vorlex:isNull:columnRange'
%!   @() vorlex ('valueLength', r, -1, 0),        'vorlex:valueLength:rowRange'
%!   @() vorlex ('valueLength', r, Inf, 0),       'vorlex:valueLength:rowRange'
%!   @() vorlex ('getValue', r, 0, 0, 0),         'vorlex:getValue:nargin'
%!   @() vorlex ('getValue', int32 (r), 'x', 0),  'vorlex:getValue:resultClass'
%!   @() vorlex ('getValue', r, 'x', 99),         'vorlex:getValue:rowNotNumeric'
%!   @() vorlex ('getValue', [r; r], 0, 'x'),     'vorlex:getValue:columnNotNumeric'
%!   @() vorlex ('getValue', gone, 99, 0),        'vorlex:getValue:unknownResult'
%!   @() vorlex ('getValue', r, 99, 99),          'vorlex:getValue:rowRange'
%!   @() vorlex ('getValue', r, 0, 2^40),         'vorlex:getValue:columnRange'
%! };
%! for k = 1:rows (checks)
%!   try
%!     checks{k, 1} ();
%!     error ('check %d passed', k);
%!   catch err
%!     assert (err.identifier, checks{k, 2}, sprintf ('check %d', k));
%!   end_try_catch
%! end
%! try
%!   [a, b] = vorlex ('rowCount', r);
%!   error ('two outputs accepted');
%! catch err
%!   assert (err.identifier, 'vorlex:rowCount:nargout');
%! end_try_catch

%!test
%! ## COPY results describe their columns without names: fieldNumber finds
%! ## none and fieldName refuses.  Own connection, left in COPY state.
%! k = vorlex ('connect', '');
%! unwind_protect
%!   out = vorlex ('execText', k, 'copy (select 1 as a, 2 as b) to stdout');
%!   assert (vorlex ('resultStatus', out), 3);
%!   assert (vorlex ('fieldCount', out), 2);
%!   assert (vorlex ('fieldNumber', out, 'a'), -1);
%!   try
%!     vorlex ('fieldName', out, 0);
%!     error ('fieldName of a COPY result passed');
%!   catch err
%!     assert (err.identifier, 'vorlex:fieldName:unnamedColumn');
%!   end_try_catch
%!   vorlex ('clear', out);
%!   vorlex ('execText', k, 'create temp table copy_target (a int4)');
%!   in = vorlex ('execText', k, 'copy copy_target from stdin');
%!   assert (vorlex ('resultStatus', in), 4);
%!   assert (vorlex ('fieldNumber', in, 'a'), -1);
%!   vorlex ('clear', in);
%!   ## The next statement ends the COPY; the connection goes on.
%!   done = vorlex ('execText', k, 'select 1');
%!   assert (vorlex ('getValue', done, 0, 0), int32 (1));
%!   vorlex ('clear', done);
%! unwind_protect_cleanup
%!   vorlex ('finish', k);
%! end_unwind_protect

%!test
%! vorlex ('clear', r);
%! vorlex ('finish', c);
