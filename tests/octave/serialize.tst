## Serialised values: vorlex_serialize and vorlex_deserialize round trips,
## the bytes as a MAT-file that load reads, what other writers produce, and
## malformed bytes, which must raise errors and never crash.

## Class, shape, sparsity, complexity and value, down through cells and
## structs (isequal alone lets int8 (1) equal 1).
%!function assert_same (got, want)
%!  assert (class (got), class (want));
%!  assert (size (got), size (want));
%!  assert (issparse (got), issparse (want));
%!  assert (iscomplex (got), iscomplex (want));
%!  if (iscell (want))
%!    for k = 1:numel (want)
%!      assert_same (got{k}, want{k});
%!    end
%!  elseif (isstruct (want))
%!    assert (fieldnames (got), fieldnames (want));
%!    names = fieldnames (want);
%!    for k = 1:numel (want)
%!      for f = 1:numel (names)
%!        assert_same (got(k).(names{f}), want(k).(names{f}));
%!      end
%!    end
%!  else
%!    assert (isequaln (got, want));
%!  end
%!endfunction

%!function check_round_trips (values)
%!  for k = 1:numel (values)
%!    bytes = vorlex_serialize (values{k});
%!    assert (class (bytes), 'uint8');
%!    assert (rows (bytes), 1);
%!    assert (mod (numel (bytes), 8), 0);
%!    assert_same (vorlex_deserialize (bytes), values{k});
%!  end
%!endfunction

## A MAT-file of the standard header and `bytes`, read back with load.
%!function value = load_element (bytes)
%!  file = [tempname() '.mat'];
%!  text = sprintf ('%-116s', 'MATLAB 5.0 MAT-file, written by the vorlex tests');
%!  fid = fopen (file, 'w');
%!  fwrite (fid, [uint8(text) zeros(1, 8, 'uint8') uint8([0 1]) uint8('IM') bytes]);
%!  fclose (fid);
%!  loaded = load (file);
%!  delete (file);
%!  assert (fieldnames (loaded), {'value'});
%!  value = loaded.value;
%!endfunction

## Element builders for hand-made bytes.
%!function bytes = le32 (values)
%!  bytes = typecast (int32 (values(:)'), 'uint8');
%!endfunction
%!function bytes = data_element (type, data)
%!  data = uint8 (data);
%!  bytes = [le32([type numel(data)]) data zeros(1, mod(-numel(data), 8), 'uint8')];
%!endfunction
%!function bytes = matrix_element (class_and_flags, dims, parts)
%!  body = [data_element(6, le32([class_and_flags 0])) data_element(5, le32(dims)) ...
%!          data_element(1, '') uint8(parts)];
%!  bytes = [le32([14 numel(body)]) body];
%!endfunction

## The error identifier `bytes` raise ('' when they decode).
%!function id = decode_error (bytes)
%!  id = '';
%!  try
%!    vorlex_deserialize (bytes);
%!  catch err
%!    id = err.identifier;
%!  end
%!endfunction

%!test
%! ## Every numeric class, real and complex, at its extremes and exactly.
%! values = {};
%! for cls = {'int8', 'uint8', 'int16', 'uint16', 'int32', 'uint32', 'int64', 'uint64'}
%!   c = cls{1};
%!   values{end+1} = [intmin(c) intmax(c); zeros(1, 1, c) ones(1, 1, c)];
%!   values{end+1} = reshape (cast (1:24, c), [2 3 4]);
%! end
%! values{end+1} = [1; -1] * (int64 (2)^53 + 1);
%! values{end+1} = [0 -0 1 -1 pi NaN Inf -Inf realmax realmin realmin/4 eps];
%! values{end+1} = single ([0 1 -1 pi NaN Inf -Inf realmax('single') realmin('single')]);
%! values{end+1} = [1+2i, complex(-Inf, NaN); 0-1i, 3];
%! values{end+1} = single ([1i 2; NaN 4-4i]);
%! values{end+1} = complex (rand (2, 1, 3), rand (2, 1, 3));
%! values{end+1} = rand (2, 3, 4, 2);
%! values{end+1} = 42;
%! check_round_trips (values);
%! ## Negative zero keeps its sign.
%! assert (1 / vorlex_deserialize (vorlex_serialize (-0)), -Inf);
%! ## The largest integers pass as they are, not through doubles.
%! for want = {intmax('uint64'), intmax('uint64') - 1, intmax('int64') - 1, intmin('int64') + 1}
%!   assert (vorlex_deserialize (vorlex_serialize (want{1})) == want{1});
%! end

%!test
%! ## Logical, char and empties of many shapes and classes.
%! values = {true, [true false; false true], logical(zeros(2, 0)), rand(3, 2, 2) > 0.5};
%! values(end+1:end+4) = {'abc', ['abc'; 'def'], char(zeros(1, 0)), ''};
%! values(end+1:end+2) = {char(0:127), reshape('abcdefgh', [2 2 2])};
%! for shape = {[0 0], [0 3], [3 0], [1 0], [1 0 2], [2 3 0], [0 0 0 2]}
%!   dims = shape{1};
%!   values(end+1:end+6) = {zeros(dims), zeros(dims, 'int16'), single(zeros(dims)), ...
%!                          false(dims), char(zeros(dims)), cell(dims)};
%!   values{end+1} = repmat (struct ('a', 1, 'b', 2), dims);
%! end
%! check_round_trips (values);

%!test
%! ## Text that is not ASCII: the bytes come back exactly, also where they
%! ## are not UTF-8 or do not form a row.
%! utf8 = char ([71 114 195 188 195 159 101 32 230 151 165 32 240 159 142 137]);
%! check_round_trips ({utf8, [utf8; utf8], reshape([utf8 utf8], [2 8 2]), ...
%!                     char(128:255), char([200 65]), char([237 160 128]), ...
%!                     [utf8 char(0) 'x'], {utf8}, struct('t', utf8)});

%!test
%! ## Cells and structs: nested, struct arrays of any shape, unset elements,
%! ## many fields, long names, no fields.
%! s = struct ('name', {'a', 'bc'; 'def', ''}, 'data', {1, int8(2); {3}, []});
%! names = arrayfun (@(k) sprintf ('field%d', k), 1:100, 'UniformOutput', false);
%! many = cell2struct (num2cell (1:100), names, 2);
%! long = struct (repmat ('x', 1, 100), 1, 'y', 2);
%! nested = {1, {2, {3, {struct('deep', {{single(4), 'five'}})}}}};
%! values = {s, s', repmat(s, [1 1 2]), many, long, struct(), repmat(struct(), 3, 2), ...
%!           cell(2, 2), {[], {}, ''}, nested, struct('a', {}), ...
%!           struct('c', {{}}), {s; many}, struct('s', s)};
%! check_round_trips (values);
%! ## Field order is kept.
%! got = vorlex_deserialize (vorlex_serialize (struct ('z', 1, 'a', 2, 'm', 3)));
%! assert (fieldnames (got), {'z'; 'a'; 'm'});

%!test
%! ## Sparse arrays: real, complex, logical, empty, inside cells.
%! values = {sparse([1 0 2; 0 0 3]), sparse([1i 0; 0 2-1i]), sparse(logical([1 0; 0 1])), ...
%!           sparse(3, 4), sparse(0, 0), sparse(0, 5), speye(500), {sparse(2, 2)}};
%! check_round_trips (values);

%!test
%! ## Cells and structs nest up to 256 levels either way.
%! value = 1;
%! for level = 1:256
%!   value = {value};
%! end
%! got = vorlex_deserialize (vorlex_serialize (value));
%! for level = 1:256
%!   assert (iscell (got) && numel (got) == 1);
%!   got = got{1};
%! end
%! assert (got, 1);
%! try
%!   vorlex_serialize ({value});
%!   error ('257 levels should have been refused');
%! catch err
%!   assert (err.identifier, 'vorlex:vorlex_serialize:tooDeep');
%! end_try_catch

%!test
%! ## The exact bytes of a small value: a small element for three int8s,
%! ## the name "value", 8-byte padding.
%! bytes = vorlex_serialize (int8 ([1 -2 3]));
%! want = [le32([14 56 6 8 8 0 5 8 1 3 1 5]) uint8('value') 0 0 0 ...
%!         le32(196609) uint8([1 254 3 0])];
%! assert (bytes, want);
%! ## Cells and fields hold unnamed elements.
%! bytes = vorlex_serialize ({true});
%! assert (bytes(57:64), le32([14 48]));
%! assert (bytes(97:104), le32([1 0]));

%!test
%! ## Written after a MAT-file header, the bytes load as the variable
%! ## `value`.
%! utf8 = char ([104 195 169 108 108 111 32 240 159 142 137]);
%! s = struct ('name', {'a', utf8}, 'data', {int64(-5), {single(1i), true}});
%! values = {pi, [1 2; 3 4], intmin('int64'), intmax('uint64'), single(1-2i), ...
%!           rand(2, 2, 2), true(2, 3), 'text', ['ab'; 'cd'], utf8, [utf8; utf8], ...
%!           char([200 65]), {}, cell(1, 2), {1, 'a', {2}}, s, struct(), ...
%!           struct('a', {}), zeros(0, 3), zeros(1, 0, 2), sparse([1 0; 0 2]), ...
%!           sparse([1i 0 2]), sparse(3, 4)};
%! for k = 1:numel (values)
%!   assert_same (load_element (vorlex_serialize (values{k})), values{k});
%! end
%! ## Octave's load reads a sparse logical array as double (the values
%! ## are the same); vorlex_deserialize keeps the class.
%! loaded = load_element (vorlex_serialize (sparse (logical ([1 0; 0 1]))));
%! assert (isequal (loaded, sparse ([1 0; 0 1])));

%!test
%! ## Elements that another writer made: Octave's own save.
%! s = struct ('a', {1, 'text'}, 'b', {int8([1 2]), {2, 'x'}});
%! values = {s, char([104 195 169 108 108 111]), char([200 65]), single(1+2i), ...
%!           sparse([1 0 2]), int64(-7), true(1, 3)};
%! file = [tempname() '.mat'];
%! for k = 1:numel (values)
%!   value = values{k};
%!   save ('-v6', file, 'value');
%!   fid = fopen (file);
%!   bytes = fread (fid, Inf, 'uint8=>uint8')';
%!   fclose (fid);
%!   assert_same (vorlex_deserialize (bytes(129:end)), value);
%!   ## Compressed elements are refused.
%!   save ('-v7', file, 'value');
%!   fid = fopen (file);
%!   bytes = fread (fid, Inf, 'uint8=>uint8')';
%!   fclose (fid);
%!   assert (decode_error (bytes(129:end)), 'vorlex:vorlex_deserialize:compressed');
%! end
%! delete (file);

%!test
%! ## Variants other writers produce: numbers stored in a narrower type,
%! ## 16-bit text, short padding at the end, empty elements in cells.
%! d = @(class, dims, parts) vorlex_deserialize (matrix_element (class, dims, parts));
%! assert_same (d(6, [1 3], data_element(2, [1 2 255])), [1 2 255]);
%! assert_same (d(14, [1 2], data_element(5, le32([-5 2147483647]))), int64([-5 2147483647]));
%! assert_same (d(15, [1 1], data_element(4, typecast (uint16 (65535), 'uint8'))), uint64(65535));
%! assert_same (d(7, [1 2], data_element(9, typecast ([0.5 -1], 'uint8'))), single([0.5 -1]));
%! ## Out-of-range values saturate as Octave's conversions do.
%! assert_same (d(8, [1 4], data_element(9, typecast ([300 -300 NaN 2.5], 'uint8'))), ...
%!              int8([127 -128 0 3]));
%! assert_same (d(6 + 2048, [1 1], [data_element(2, 3) data_element(1, 255)]), complex(3, -1));
%! assert_same (d(9 + 512, [1 3], data_element(9, typecast ([0 2 -1], 'uint8'))), ...
%!              [false true true]);
%! ## 16-bit text becomes UTF-8; a row grows to the bytes it needs; an
%! ## unpaired surrogate becomes U+FFFD.
%! units = @(u) typecast (uint16 (u), 'uint8');
%! assert_same (d(4, [1 3], data_element(4, units([104 233 8364]))), ...
%!              char([104 195 169 226 130 172]));
%! assert_same (d(4, [1 2], data_element(17, units([55356 57225]))), char([240 159 142 137]));
%! assert_same (d(4, [1 1], data_element(17, units(55356))), char([239 191 189]));
%! assert_same (d(4, [2 1], data_element(4, units([97 98]))), ['a'; 'b']);
%! ## An empty miMATRIX element inside a cell is an empty double.
%! assert_same (d(1, [1 2], [le32([14 0]) matrix_element(6, [0 0], data_element(9, ''))]), ...
%!              {[], []});
%! ## The padding after the last element may be left out.
%! bytes = vorlex_serialize (uint8 ([1 2 3 4 5]));
%! bytes(5:8) = le32(numel (bytes) - 11);
%! assert_same (vorlex_deserialize (bytes(1:end-3)), uint8([1 2 3 4 5]));

%!test
%! ## Truncated at every length, or followed by more bytes: always an error.
%! s = struct ('a', {1, char([104 195 169])}, 'b', {int64([1 2]), {sparse([1i 0 2])}});
%! bytes = vorlex_serialize ({s, single(1+2i), true(1, 3), char([200 65]), ...
%!                           sparse(logical(eye(2))), cell(1, 2)});
%! for n = 0:numel (bytes) - 1
%!   assert (decode_error (bytes(1:n)), 'vorlex:vorlex_deserialize:truncated');
%! end
%! assert (decode_error ([bytes uint8(0)]), 'vorlex:vorlex_deserialize:trailingBytes');
%! assert (decode_error ([bytes bytes]), 'vorlex:vorlex_deserialize:trailingBytes');

%!test
%! ## Malformed elements, each with its own identifier.
%! m = @matrix_element;
%! int32s = @(values) data_element (5, le32(values));
%! one_double = data_element (9, zeros (1, 8));
%! raw = @(flags, dims, name) [le32([14 40]) flags dims name];
%! flags = data_element (6, le32([6 0]));
%! no_name = data_element (1, '');
%! names = @(slot, text) [int32s(slot) data_element(1, text)];
%! sparse_parts = @(rows, starts, values) [int32s(rows) int32s(starts) data_element(9, values)];
%! big = 2147483647;
%! deep = m(6, [1 1], one_double);
%! for level = 1:300
%!   deep = m(1, [1 1], deep);
%! end
%! cases = {
%!   ## tags and layout
%!   one_double,                                        'notMatrix'
%!   [le32([14 -16]) zeros(1, 64, 'uint8')],            'truncated'
%!   [le32([14 8]) le32([327686 6])],                   'badTag'
%!   m(6, [1 1], [one_double one_double]),              'trailingBytes'
%!   deep,                                              'tooDeep'
%!   ## array header
%!   m(3, [1 1], []),                                   'unsupportedClass'
%!   m(16, [1 1], []),                                  'unsupportedClass'
%!   raw(int32s([6 0]), int32s([1 1]), no_name),        'badFlags'
%!   raw(flags, int32s(1), no_name),                    'badDims'
%!   m(6, [1 -1], []),                                  'badDims'
%!   raw(flags, int32s([1 1]), data_element(2, '')),    'badName'
%!   m(6, [big big], one_double),                       'tooLarge'
%!   m(6, [0 big big big], data_element(9, '')),        'tooLarge'
%!   ## numeric and logical data
%!   m(6, [2 1], one_double),                           'dataSize'
%!   m(6, [1 1], data_element(14, zeros(1, 8))),        'dataType'
%!   m(6 + 2048, [1 1], one_double),                    'truncated'
%!   m(12 + 2048, [1 1], [one_double one_double]),      'complexInteger'
%!   m(6 + 512, [1 1], one_double),                     'badFlags'
%!   ## char data
%!   m(4, [1 1], int32s(65)),                           'dataType'
%!   m(4, [1 1], data_element(4, [65 0 66])),           'dataSize'
%!   m(4, [2 1], data_element(4, [233 0 65 0])),        'charShape'
%!   ## cells and structs
%!   m(1, [big 1], []),                                 'truncated'
%!   m(1, [1 1], one_double),                           'notMatrix'
%!   m(2, [1 1], names(8, 'a')),                        'badFieldNames'
%!   m(2, [1 1], names(-1, '')),                        'badFieldNames'
%!   m(2, [1 1], names(2, [97 0 97 0])),                'duplicateField'
%!   m(2, [big big], names(2, [97 0])),                 'tooLarge'
%!   m(2, [big 1], names(2, [97 0])),                   'truncated'
%!   ## sparse: layout of rows and column starts, count of values
%!   m(5, [2 2 1], []),                                 'badSparse'
%!   m(5, [big big], [int32s([]) int32s([0 0])]),       'badSparse'
%!   m(5, [2 1], sparse_parts(0, 0, zeros(1, 8))),      'badSparse'
%!   m(5, [2 1], sparse_parts(1, [1 1], zeros(1, 8))),  'badSparse'
%!   m(5, [2 1], sparse_parts(2, [0 1], zeros(1, 8))),  'badSparse'
%!   m(5, [2 1], sparse_parts(0, [0 2], zeros(1, 8))),  'badSparse'
%!   m(5, [2 1], sparse_parts([1 0], [0 2], zeros(1, 16))), 'badSparse'
%!   m(5, [2 1], sparse_parts(0, [0 1], [])),           'dataSize'
%! };
%! for k = 1:rows (cases)
%!   assert (decode_error (cases{k, 1}), ['vorlex:vorlex_deserialize:' cases{k, 2}]);
%! end

%!test
%! ## Random damage to a valid encoding: an error or a value, never a crash.
%! s = struct ('a', {1, char([104 195 169])}, 'b', {int64([1 2]), {sparse([1i 0 2])}});
%! bytes = vorlex_serialize ({s, single(1+2i), true(1, 3), char([200 65]), cell(1, 2)});
%! state = rand ('state');
%! rand ('state', 7);
%! for trial = 1:2000
%!   damaged = bytes;
%!   at = randi (numel (bytes), 1, randi (3));
%!   damaged(at) = randi ([0 255], size (at));
%!   id = decode_error (damaged);
%!   assert (isempty (id) || strncmp (id, 'vorlex:vorlex_deserialize:', 26));
%! end
%! rand ('state', state);

%!test
%! ## What is refused before any decoding: values that cannot be serialised,
%! ## bytes that are not a uint8 row, wrong calls of the module.
%! checks = {
%!   @() vorlex_serialize(@sin),                        'vorlex:vorlex_serialize:unsupportedClass'
%!   @() vorlex_serialize({1, @sin}),                   'vorlex:vorlex_serialize:unsupportedClass'
%!   @() vorlex_serialize(containers.Map()),            'vorlex:vorlex_serialize:unsupportedClass'
%!   @() vorlex_deserialize(double(vorlex_serialize(1))), 'vorlex:vorlex_deserialize:notByteRow'
%!   @() vorlex_deserialize(vorlex_serialize(1)'),      'vorlex:vorlex_deserialize:notByteRow'
%!   @() vorlex_deserialize(zeros(2, 2, 'uint8')),      'vorlex:vorlex_deserialize:notByteRow'
%!   @() vorlex_deserialize('abc'),                     'vorlex:vorlex_deserialize:notByteRow'
%!   @() vorlex_deserialize(uint8([])),                 'vorlex:vorlex_deserialize:truncated'
%!   @() vorlex_matelement('deserialize', int8(1)),     'vorlex:vorlex_deserialize:notByteRow'
%!   @() vorlex_matelement('deserialize', uint8([9 0 0 0 0 0 0 0])),'vorlex:vorlex_deserialize:notMatrix'
%!   @() vorlex_matelement('serialise', 1),             'vorlex:vorlex_matelement:unknownCommand'
%!   @() vorlex_matelement(1, 1),                       'vorlex:vorlex_matelement:unknownCommand'
%!   @() vorlex_matelement('serialize'),                'vorlex:vorlex_matelement:nargin'
%!   @() vorlex_matelement('serialize', 1, 2),          'vorlex:vorlex_matelement:nargin'
%! };
%! for k = 1:rows (checks)
%!   try
%!     checks{k, 1} ();
%!     error ('check %d raised nothing', k);
%!   catch err
%!     assert (err.identifier, checks{k, 2});
%!   end_try_catch
%! end
%! try
%!   [a, b] = vorlex_matelement ('serialize', 1);
%!   error ('two outputs should have been refused');
%! catch err
%!   assert (err.identifier, 'vorlex:vorlex_matelement:nargout');
%! end_try_catch
