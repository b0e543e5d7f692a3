## copyOut: a query's rows read by COPY ... TO STDOUT in binary, into the
## same structs resultGet makes of the same query: every type, scalar and
## array, NULLs, both output modes, empty and large results, values across
## the stream's chunks, and the failures after which the connection goes on.

%!shared c
%! c = vorlex ('connect', '');
%! vorlex ('exec', c, 'set timezone = ''UTC''');
%! vorlex ('exec', c, ['create temp table co_scalars (k int4 primary key, b bool, by bytea, nm name, ' ...
%!                     'tx text, js json, xm xml, bp bpchar, vc varchar, nu numeric, i2 int2, i4 int4, ' ...
%!                     'i8 int8, f4 float4, f8 float8, d date, tm time, tz timetz, ts timestamp, ' ...
%!                     'tsz timestamptz, sb bytea, sw bytea)']);
%! vorlex ('exec', c, ['insert into co_scalars values ' ...
%!   '(1, true, ''\x00ff10'', ''nm'', ''h€llo'', ''{"a": [1, 2]}'', ''<a>x</a>'', ''ab '', ''v w'', ' ...
%!   '1.50, -32768, 2147483647, -9223372036854775808, 1.5, -0.125, ''2000-01-01'', ''06:00:00.5'', ' ...
%!   '''06:00+02'', ''2000-01-01 12:00:00.25'', ''2024-02-29 18:00+00'', null, null), ' ...
%!   '(2, null, null, null, null, null, null, null, null, null, null, null, null, null, null, null, ' ...
%!   'null, null, null, null, null, null), ' ...
%!   '(3, false, ''\x'', '''', '''', ''[]'', ''text'', '''', '''', ''NaN'', 0, 0, 0, ''NaN'', ''Infinity'', ' ...
%!   '''1900-03-01'', ''23:59:59.999999'', ''00:00-05:30'', ''1970-01-01'', ''1999-12-31 23:59:59.5+01'', ' ...
%!   'null, null), ' ...
%!   '(4, true, decode(repeat(''ab'', 1000), ''hex''), repeat(''n'', 63), repeat(''t'', 100000), ''null'', ' ...
%!   '''<b/>'', ''xyz'', '''', ''-123456789012345678901234567890.1234567890'', 32767, -2147483648, ' ...
%!   '9223372036854775807, ''-Infinity'', ''-Infinity'', ''-infinity'', ''24:00'', ''12:34:56.789+14'', ' ...
%!   '''infinity'', ''-infinity'', null, null), ' ...
%!   '(5, false, ''\x5c'', ''a"b'', E''tab\there\nline'', ''"s"'', ''<c d="e"/>'', ''z'', ''ä'', ' ...
%!   '''0.000001'', 1, 2, 3, 3.4e38, 5e-324, ''0001-01-01'', ''00:00'', ''23:59:59-12'', ' ...
%!   '''4713-01-01 00:00 BC'', ''2038-01-19 03:14:08+00'', null, null)']);
%! vorlex ('batchExec', c, 'update co_scalars set sb = $2, sw = $3 where k = $1', ...
%!         '%int4 %serbytea %serbytea_wn', ...
%!         struct ('k', int32 ([1; 3; 4; 5]), ...
%!                 'sb', {{struct('a', {1, 'two'}, 'b', {{3}, int8([4 5])}); magic(4); single(1:3) + 2i; ''}}, ...
%!                 'sw', {{{1, 'x'; [], {true}}; 'skipped'; zeros(0, 3, 'uint16'); true}}), ...
%!         [], struct ('k', false (4, 1), 'sb', false (4, 1), 'sw', [false; true; false; false]));
%! vorlex ('exec', c, ['create temp table co_arrays (k int4 primary key, ab bool[], aby bytea[], ' ...
%!                     'anm name[], atx text[], ajs json[], axm xml[], abp bpchar[], avc varchar[], ' ...
%!                     'anu numeric[], ai2 int2[], ai4 int4[], ai8 int8[], af4 float4[], af8 float8[], ' ...
%!                     'ad date[], atm time[], atz timetz[], ats timestamp[], atsz timestamptz[], ' ...
%!                     'asb bytea[], asw bytea[])']);
%! vorlex ('exec', c, ['insert into co_arrays values ' ...
%!   '(1, ''{{t,NULL},{f,t}}'', ''{"\\x01",NULL,"\\x"}'', ''{a,NULL,b}'', ''{{"a b",NULL},{"",NULL}}'', ' ...
%!   'array[''{"a":1}''::json, null, ''[]''], array[''<x/>''::xml, null], ''{ab,NULL}'', ''{"v w",NULL}'', ' ...
%!   '''{1.50,NULL,-0.001,NaN}'', ''{{1,2,3},{4,NULL,6}}'', ''{{{1,2},{3,4}},{{5,NULL},{7,8}}}'', ' ...
%!   '''{9223372036854775807,NULL}'', ''{0.5,NULL,-Infinity,NaN}'', ''{{1e300,NULL},{Infinity,-0.5}}'', ' ...
%!   '''{2000-01-01,NULL,infinity}'', ''{06:00,NULL}'', ''{06:00+02,NULL}'', ' ...
%!   '''{"2000-01-01 12:00",NULL}'', ''{"2024-02-29 18:00+00",NULL}'', null, null), ' ...
%!   '(2, null, null, null, null, null, null, null, null, null, null, null, null, null, null, null, ' ...
%!   'null, null, null, null, null, null), ' ...
%!   '(3, ''{}'', ''{}'', ''{}'', ''{}'', ''{}'', ''{}'', ''{}'', ''{}'', ''{}'', ''{}'', ''{}'', ''{}'', ' ...
%!   '''{}'', ''{}'', ''{}'', ''{}'', ''{}'', ''{}'', ''{}'', null, null), ' ...
%!   '(4, ''[0:1]={t,f}'', ''[2:2]={"\\xff"}'', ''[0:0]={n}'', ''[-1:0][1:2]={{a,b},{c,d}}'', ' ...
%!   'array[''1''::json], array[''<y/>''::xml], ''{"x "}'', ''{"",""}'', ''[5:6]={1,2}'', ' ...
%!   '''[0:1][0:1]={{1,2},{3,4}}'', ''[2:3]={7,8}'', ''{{1},{2}}'', ''{{1.5}}'', ''{{{1}},{{2}}}'', ' ...
%!   '''{0001-01-01}'', ''{24:00}'', ''{23:59:59-12}'', ''{-infinity}'', ''{infinity}'', null, null), ' ...
%!   '(5, ''{t}'', ''{"\\x00"}'', ''{x}'', ''{NULL}'', array[null::json], array[null::xml], ''{NULL}'', ' ...
%!   '''{y}'', ''{-0.5}'', ''{NULL,NULL}'', ''{-2147483648}'', ''{-1}'', ''{3.5}'', ''{5e-324}'', ' ...
%!   '''{2000-02-29}'', ''{12:00}'', ''{12:00+00}'', ''{"1999-12-31 23:59:59.5"}'', ' ...
%!   '''{"1970-01-01 00:00+00"}'', null, null)']);
%! vorlex ('batchExec', c, 'update co_arrays set asb = $2, asw = $3 where k = $1', ...
%!         '%int4 %serbytea[] %serbytea_wn[]', ...
%!         struct ('k', int32 ([1; 3; 4; 5]), ...
%!                 'sb', {{{1, 'two'; [], {3}}; {[]}; {{}}; {struct('a', 1)}}}, ...
%!                 'sw', {{{[1 2], 'b'; {3}, []}; {1}; {'x', 'y'}; {int8(1)}}}), ...
%!         struct ('k', false (4, 1), 'sb', {{false(2, 2); false; false; false}}, ...
%!                 'sw', {{logical([0 0; 1 0]); false; logical([0 1]); true}}), ...
%!         struct ('k', false (4, 1), 'sb', false (4, 1), 'sw', [false; false; false; true]));

%!function assert_id (err, id)
%!  ## ERR carries the identifier ID (its message shown if not).
%!  if (! strcmp (err.identifier, id))
%!    error ('expected %s, got %s: %s', id, err.identifier, err.message);
%!  end
%!endfunction

%!function check_error (id, nout, varargin)
%!  try
%!    out = cell (1, nout);
%!    [out{:}] = vorlex ('copyOut', varargin{:});
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

%!function assert_usable (c)
%!  ## The connection is idle, takes the next statement and the next COPY.
%!  assert (double (value_of (c, 'select (now() = statement_timestamp())::int4')), 1);
%!  assert (double (value_of (c, 'select 41 + 1')), 42);
%!  s = vorlex ('copyOut', c, 'select g from generate_series(1, 3) g', '%int4');
%!  assert (s.value, int32 ([1; 2; 3]));
%!endfunction

%!function assert_same (a, b, label)
%!  ## A and B alike in class, size and value (NaN equal to NaN), all the
%!  ## way down through structs and cells.
%!  if (! strcmp (class (a), class (b)))
%!    error ('%s: class %s, expected %s', label, class (a), class (b));
%!  end
%!  if (! isequal (size (a), size (b)))
%!    error ('%s: size %s, expected %s', label, mat2str (size (a)), mat2str (size (b)));
%!  end
%!  if (isstruct (a))
%!    assert (isequal (fieldnames (a), fieldnames (b)), [label ': fields']);
%!    for i = 1:numel (a)
%!      for f = fieldnames (a)'
%!        assert_same (a(i).(f{1}), b(i).(f{1}), sprintf ('%s(%d).%s', label, i, f{1}));
%!      end
%!    end
%!  elseif (iscell (a))
%!    ## Element by element, but in bulk (columns have 300,000 cells): the
%!    ## extents and classes of the elements, then their values; cells,
%!    ## structs and arrays of more dimensions within are compared on their
%!    ## own.
%!    if (! isequal (cellfun ('ndims', a), cellfun ('ndims', b)) ...
%!        || ! isequal (cellfun ('size', a, 1), cellfun ('size', b, 1)) ...
%!        || ! isequal (cellfun ('size', a, 2), cellfun ('size', b, 2)))
%!      error ('%s: sizes of the elements differ', label);
%!    end
%!    if (isempty (a))
%!      return;
%!    end
%!    kind = class (a{1});
%!    uniform = all (cellfun ('isclass', a, kind)(:)) && all (cellfun ('isclass', b, kind)(:));
%!    if (! uniform)
%!      kinds = cellfun (@class, a, 'UniformOutput', false);
%!      if (! isequal (kinds, cellfun (@class, b, 'UniformOutput', false)))
%!        error ('%s: classes of the elements differ', label);
%!      end
%!    end
%!    inner = cellfun ('isclass', a, 'cell') | cellfun ('isclass', a, 'struct') | cellfun ('ndims', a) > 2;
%!    for i = find (inner(:))'
%!      assert_same (a{i}, b{i}, sprintf ('%s{%d}', label, i));
%!    end
%!    if (uniform && (isnumeric (a{1}) || islogical (a{1})))
%!      ## The shapes agree element by element, so the concatenations are
%!      ## equal exactly when the elements are.
%!      try
%!        va = [a{:}];
%!        vb = [b{:}];
%!      catch
%!        va = cellfun (@(x) x(:), a, 'UniformOutput', false);
%!        va = vertcat (va{:});
%!        vb = cellfun (@(x) x(:), b, 'UniformOutput', false);
%!        vb = vertcat (vb{:});
%!      end_try_catch
%!      assert (isequaln (va, vb), [label ': value']);
%!    else
%!      assert (isequaln (a, b), [label ': value']);
%!    end
%!  else
%!    assert (isequaln (a, b), [label ': value']);
%!  end
%!endfunction

%!function out = check_against_result (c, query, format, varargin)
%!  ## copyOut of QUERY with FORMAT (options in VARARGIN) gives what resultGet
%!  ## gives of the same query's binary result, column k for specifier k.
%!  k = numel (strfind (format, '%'));
%!  out = cell (1, k);
%!  [out{:}] = vorlex ('copyOut', c, query, format, varargin{:});
%!  r = vorlex ('exec', c, query);
%!  unwind_protect
%!    expected = cell (1, k);
%!    columns = num2cell (0:k - 1);
%!    [expected{:}] = vorlex ('resultGet', r, format, columns{:}, varargin{:});
%!  unwind_protect_cleanup
%!    vorlex ('clear', r);
%!  end_unwind_protect
%!  for j = 1:k
%!    assert_same (out{j}, expected{j}, sprintf ('%s, column %d', query, j));
%!  end
%!endfunction

%!test
%! ## Scalars of all 21 types, with NULLs, in both output modes.
%! format = ['%int4 %bool %bytea %name %text %json %xml %bpchar %varchar %numeric %int2 %int4 ' ...
%!         '%int8 %float4 %float8 %date %time %timetz %timestamp %timestamptz %serbytea %serbytea_wn'];
%! q = 'select * from co_scalars order by k';
%! out = check_against_result (c, q, format);
%! check_against_result (c, q, format, 'columnVectors', true);
%! check_against_result (c, q, format, 'columnVectors', false);
%! check_against_result (c, 'select * from co_scalars order by k desc', format, 'columnVectors', false);
%! ## Some values spelled out.
%! assert (out{1}.value, int32 ((1:5)'));
%! assert (out{2}.value, [true; false; false; true; false]);
%! assert (out{2}.rowIsNull, [false; true; false; false; false]);
%! assert (out{5}.value([1 2 5]), {'h€llo'; ''; sprintf('tab\there\nline')});
%! assert (out{5}.valueIsNull, [false; true; false; false; false]);
%! assert (numel (out{5}.value{4}), 100000);
%! assert (out{3}.value{1}, uint8 ([0 255 16]));
%! assert (out{10}.value([1 3 5]), {'1.50'; 'NaN'; '0.000001'});
%! assert (out{13}.value([1 4]), [intmin('int64'); intmax('int64')]);
%! assert (out{16}.value(1), 730486);
%! assert (abs (out{19}.value(1) - (730486.5 + 0.25 / 86400)) < 1e-9);
%! assert (out{21}.value{1}, struct ('a', {1, 'two'}, 'b', {{3}, int8([4 5])}));
%! assert (out{21}.value{4}, single (1:3) + 2i);
%! assert (out{22}.valueIsNull, [false; true; true; false; false]);
%! assert (out{22}.value{4}, zeros (0, 3, 'uint16'));
%! assert (out{22}.value{5}, true);
%! ## Columns in another order and computed columns.
%! check_against_result (c, 'select tx, k::int8 * 2, b, tx || ''!'', nu * 2 from co_scalars order by k', ...
%!                       '%text %int8 %bool %text %numeric', 'columnVectors', false);
%! ## A query of several lines that ends in a comment.
%! check_against_result (c, sprintf ('select k, tx\n  from co_scalars\n  order by k\n-- the texts'), ...
%!                       '%int4 %text');

%!test
%! ## Arrays of all 21 element types: NULL arrays, NULL elements, empty
%! ## arrays, lower bounds other than 1, several dimensions; as they are
%! ## and flattened by "@", in both output modes.
%! types = {'int4', 'bool', 'bytea', 'name', 'text', 'json', 'xml', 'bpchar', 'varchar', 'numeric', ...
%!          'int2', 'int4', 'int8', 'float4', 'float8', 'date', 'time', 'timetz', 'timestamp', ...
%!          'timestamptz', 'serbytea', 'serbytea_wn'};
%! plain = ['%int4 ' strjoin(strcat ('%', types(2:end), '[]'), ' ')];
%! flat = ['%int4 ' strjoin(strcat ('%', types(2:end), '[]@'), ' ')];
%! q = 'select * from co_arrays order by k';
%! for format = {plain, flat}
%!   out = check_against_result (c, q, format{1});
%!   check_against_result (c, q, format{1}, 'columnVectors', false);
%! end
%! ## Some values spelled out.
%! out = check_against_result (c, q, plain);
%! assert (out{12}.value{1}, reshape (int32 ([1 5 3 7 2 0 4 8]), 2, 2, 2));
%! assert (out{12}.valueIsNull{1}, reshape (logical ([0 0 0 0 0 1 0 0]), 2, 2, 2));
%! assert (out{12}.rowIsNull, [false; true; false; false; false]);
%! assert (out{5}.value{4}, {'a', 'b'; 'c', 'd'});
%! assert (out{22}.valueIsNull{1}, logical ([0 0; 1 0]));
%! assert (out{22}.value{1}([1 3 4]), {[1 2], 'b', []});
%! assert (out{22}.rowIsNull, [false; true; false; false; true]);
%! out = check_against_result (c, q, flat, 'columnVectors', false);
%! assert (out{12}.value{1}, int32 ([1; 5; 3; 7; 2; 0; 4; 8]));

%!test
%! ## A result without rows gives what resultGet gives for none: 0-by-1.
%! format = ['%int4 %bool %bytea %name %text %json %xml %bpchar %varchar %numeric %int2 %int4 ' ...
%!         '%int8 %float4 %float8 %date %time %timetz %timestamp %timestamptz %serbytea %serbytea_wn'];
%! for opt = {{}, {'columnVectors', false}}
%!   out = check_against_result (c, 'select * from co_scalars where false', format, opt{1}{:});
%!   for j = 1:numel (out)
%!     assert (size (out{j}.value), [0 1]);
%!     assert (size (out{j}.rowIsNull), [0 1]);
%!   end
%!   check_against_result (c, 'select k, ai4, ai4 from co_arrays where k < 0', '%int4 %int4[] %int4[]@', opt{1}{:});
%! end
%! assert_usable (c);

%!test
%! ## 300,000 rows of six types with NULLs here and there: the outputs grow
%! ## many times over and still match resultGet.
%! q = ['select g::int4, case when g % 7 = 0 then null else g * 0.5 end::float8, ' ...
%!      'case when g % 11 = 0 then null else ''r'' || g end, ' ...
%!      'case when g % 13 = 0 then null when g % 17 = 0 then array[g, null] else array[g, -g] end::int8[], ' ...
%!      '(g % 3 = 0), ' ...
%!      'case when g % 5 = 0 then null else timestamp ''2024-01-01'' + g * interval ''1 second'' end ' ...
%!      'from generate_series(1, 300000) g'];
%! format = '%int4 %float8 %text %int8[]@ %bool %timestamp';
%! out = check_against_result (c, q, format);
%! g = (1:300000)';
%! assert (out{1}.value, int32 (g));
%! assert (out{2}.valueIsNull, mod (g, 7) == 0);
%! assert (out{3}.value{300000}, 'r300000');
%! assert (out{4}.rowIsNull, mod (g, 13) == 0);
%! assert (out{4}.value{17}, int64 ([17; 0]));
%! assert (out{4}.valueIsNull{17}, [false; true]);
%! assert (out{5}.value, mod (g, 3) == 0);
%! check_against_result (c, [q ' where g <= 30000'], format, 'columnVectors', false);
%! ## The first 70,000 rows NULL in every column, then values.
%! q = ['select case when g > 70000 then g end::int4, case when g > 70000 then g * 0.5 end::float8, ' ...
%!      'case when g > 70000 then ''r'' || g end, case when g > 70000 then array[g, g] end::int8[], ' ...
%!      'case when g > 70000 then g % 2 = 0 end, ' ...
%!      'case when g > 70000 then int4send(g) end ' ...
%!      'from generate_series(1, 100000) g'];
%! out = check_against_result (c, q, '%int4 %float8 %text %int8[] %bool %bytea');
%! assert (out{1}.rowIsNull, (1:100000)' <= 70000);

%!test
%! ## Values of a megabyte and more across the stream's chunks.
%! q = ['select g, repeat(chr(64 + g), 1000000 + g), ' ...
%!      'decode(repeat(lpad(to_hex(g), 2, ''0''), 1000000 + g), ''hex'') from generate_series(1, 12) g'];
%! out = check_against_result (c, q, '%int4 %text %bytea');
%! for g = 1:12
%!   assert (out{2}.value{g}, repmat (char (64 + g), 1, 1000000 + g));
%!   assert (out{3}.value{g}, repmat (uint8 (g), 1, 1000000 + g));
%! end

%!test
%! ## Queries the server refuses, before or while the rows stream: the
%! ## server's message, and the connection goes on.
%! vorlex ('exec', c, 'create temp table co_stream (a int4)');
%! cases = {
%!   'selec 1',                                  '%int4',       'syntax error'
%!   'select * from co_missing_table',            '%int4',       'co_missing_table'
%!   'select (10000 / (5000 - g))::int4 from generate_series(1, 10000) g', '%int4', 'division by zero'
%!   ['select case when g = 90000 then 1 / (g - g) else g end::int4, repeat(''x'', 100) ' ...
%!    'from generate_series(1, 100000) g'],      '%int4 %text', 'division by zero'
%!   'select 1::int4 from co_stream; drop table co_stream', '%int4', ''
%! };
%! for k = 1:rows (cases)
%!   try
%!     out = cell (1, numel (strfind (cases{k,2}, '%')));
%!     [out{:}] = vorlex ('copyOut', c, cases{k,1}, cases{k,2});
%!     error ('no error for %s', cases{k,1});
%!   catch err
%!     assert_id (err, 'vorlex:copyOut:queryFailed');
%!     assert (isempty (cases{k,3}) || ! isempty (strfind (err.message, cases{k,3})), err.message);
%!   end_try_catch
%!   assert_usable (c);
%! end
%! assert (double (value_of (c, 'select count(*) from co_stream')), 0);
%! ## Inside the caller's transaction: copyOut sees its rows; a failure
%! ## aborts it until ROLLBACK.
%! unwind_protect
%!   vorlex ('exec', c, 'begin');
%!   vorlex ('exec', c, 'insert into co_stream values (7), (8)');
%!   s = vorlex ('copyOut', c, 'select a from co_stream order by a', '%int4');
%!   assert (s.value, int32 ([7; 8]));
%!   check_error ('vorlex:copyOut:queryFailed', 1, c, 'select 1 / (a - a) from co_stream', '%int4');
%!   r = vorlex ('execText', c, 'select 1');
%!   assert (vorlex ('resultStatus', r), 7);
%!   assert (! isempty (strfind (vorlex ('resultErrorMessage', r), 'aborted')));
%!   vorlex ('clear', r);
%!   vorlex ('exec', c, 'rollback');
%! unwind_protect_cleanup
%!   vorlex ('execText', c, 'set client_min_messages = error');
%!   vorlex ('execText', c, 'rollback');
%!   vorlex ('exec', c, 'reset client_min_messages');
%! end_unwind_protect
%! assert_usable (c);
%! vorlex ('exec', c, 'drop table co_stream');

%!test
%! ## A specifier that does not read its column's type is refused before
%! ## any row is read (the sequence is never advanced); the numbers of
%! ## specifiers, columns and outputs must agree.
%! vorlex ('exec', c, 'create temp sequence co_seq');
%! cases = {
%!   'select nextval(''co_seq'') from generate_series(1, 5)',          '%int4'
%!   'select nextval(''co_seq'')::int4 from generate_series(1, 5)',    '%int4[]'
%!   'select array[nextval(''co_seq'')::int4]',                        '%int4'
%!   'select nextval(''co_seq'')::text',                               '%varchar'
%!   'select nextval(''co_seq'')::int4, ''x''::text',                  '%int4 %int4'
%!   'select nextval(''co_seq'')::int4, 1::int8',                      '%int4 %int4'
%!   'select nextval(''co_seq'')',                                     '%serbytea'
%! };
%! for k = 1:rows (cases)
%!   err = [];
%!   try
%!     out = cell (1, numel (strfind (cases{k,2}, '%')));
%!     [out{:}] = vorlex ('copyOut', c, cases{k,1}, cases{k,2});
%!   catch err
%!   end_try_catch
%!   assert (! isempty (err), cases{k,1});
%!   assert_id (err, 'vorlex:copyOut:typeMismatch');
%!   assert_usable (c);
%! end
%! assert (value_of (c, 'select is_called::text from co_seq'), 'false');
%! ## Specifiers against columns, and against outputs.
%! check_error ('vorlex:copyOut:columnCount', 1, c, 'select 1::int4, 2::int4', '%int4');
%! check_error ('vorlex:copyOut:columnCount', 3, c, 'select 1::int4, 2::int4', '%int4 %int4 %int4');
%! check_error ('vorlex:copyOut:nargout', 2, c, 'select 1::int4', '%int4');
%! check_error ('vorlex:copyOut:nargout', 1, c, 'select 1::int4, 2::int4', '%int4 %int4');
%! check_error ('vorlex:copyOut:nargout', 0, c, 'select 1::int4', '%int4');
%! assert (value_of (c, 'select is_called::text from co_seq'), 'false');
%! assert_usable (c);
%! vorlex ('exec', c, 'drop sequence co_seq');

%!test
%! ## The argument checks, and values that cannot be read back.
%! q = 'select 1::int4';
%! check_error ('vorlex:copyOut:nargin', 1, c, q);
%! check_error ('vorlex:copyOut:nargin', 1, c, q, '%int4', 'columnVectors');
%! check_error ('vorlex:copyOut:connectionClass', 1, double (c), q, '%int4');
%! check_error ('vorlex:copyOut:unknownConnection', 1, c + uint32 (1000), q, '%int4');
%! check_error ('vorlex:copyOut:queryNotText', 1, c, 5, '%int4');
%! check_error ('vorlex:copyOut:queryNotText', 1, c, [q; q], '%int4');
%! check_error ('vorlex:copyOut:queryHasNul', 1, c, [q char(0) ', 2'], '%int4');
%! check_error ('vorlex:copyOut:formatNotChar', 1, c, q, 1);
%! check_error ('vorlex:copyOut:badFormat', 1, c, q, '%nosuchtype');
%! check_error ('vorlex:copyOut:optionNotChar', 1, c, q, '%int4', 1, true);
%! check_error ('vorlex:copyOut:unknownOption', 1, c, q, '%int4', 'columnVector', true);
%! check_error ('vorlex:copyOut:unsupportedType', 1, c, 'select interval ''1 day''', '%interval');
%! check_error ('vorlex:copyOut:dateTimeSchema', 1, c, 'select now()::timestamp', '%pg_catalog.timestamp');
%! assert_usable (c);
%! ## Bytes that are not a serialised value, in row 3 of 5.
%! check_error ('vorlex:copyOut:deserialiseFailed', 1, c, ...
%!              ['select case when g = 3 then ''\x0102''::bytea else sb end ' ...
%!               'from co_scalars, generate_series(1, 5) g where k = 1'], '%serbytea');
%! assert_usable (c);
%! ## The option's name in any case; the command's too.
%! s = vorlex ('COPYOUT', c, q, '%int4', 'COLUMNVECTORS', false);
%! assert (s.value, {int32(1)});

%!test
%! ## A deserialiser that calls the module again (here: finishing the very
%! ## connection whose COPY is streaming) is refused, not obeyed.
%! global vorlex_copy_conn
%! vorlex_copy_conn = c;
%! dir = tempname ();
%! mkdir (dir);
%! fid = fopen (fullfile (dir, 'vorlex_deserialize.m'), 'w');
%! fprintf (fid, ['function v = vorlex_deserialize (b)\n  global vorlex_copy_conn\n' ...
%!                '  vorlex (''finish'', vorlex_copy_conn);\n  v = 1;\nend\n']);
%! fclose (fid);
%! previous = cd (dir);
%! clear vorlex_deserialize;
%! unwind_protect
%!   check_error ('vorlex:copyOut:deserialiseFailed', 2, c, 'select k, sb from co_scalars where k = 1', ...
%!                '%int4 %serbytea');
%! unwind_protect_cleanup
%!   cd (previous);
%!   clear vorlex_deserialize;
%!   confirm_recursive_rmdir (false, 'local');
%!   rmdir (dir, 's');
%!   clear -global vorlex_copy_conn
%! end_unwind_protect
%! assert_usable (c);
%! s = vorlex ('copyOut', c, 'select sb from co_scalars where k = 3', '%serbytea');
%! assert (s.value, {magic(4)});

%!test
%! ## A connection whose backend is gone: an error, not a crash; reset
%! ## brings it back.
%! victim = vorlex ('connect', '');
%! unwind_protect
%!   pid = value_of (victim, 'select pg_backend_pid()');
%!   value_of (c, sprintf ('select pg_terminate_backend(%d, 10000)', pid));
%!   try
%!     s = vorlex ('copyOut', victim, 'select 1::int4', '%int4');
%!     error ('a COPY on a lost connection passed');
%!   catch err
%!     assert (strcmp (err.identifier, 'vorlex:copyOut:connectionLost'), err.message);
%!   end_try_catch
%!   vorlex ('reset', victim);
%!   s = vorlex ('copyOut', victim, 'select 1::int4', '%int4');
%!   assert (s.value, int32 (1));
%!   ## Lost while the rows stream.
%!   try
%!     [s, t] = vorlex ('copyOut', victim, ['select g, case when g = 5000 then pg_terminate_backend(pg_backend_pid()) ' ...
%!                                     'end from generate_series(1, 10000) g'], '%int4 %bool');
%!     error ('a COPY that lost its connection passed');
%!   catch err
%!     assert (strcmp (err.identifier, 'vorlex:copyOut:connectionLost'), err.message);
%!   end_try_catch
%!   vorlex ('reset', victim);
%!   s = vorlex ('copyOut', victim, 'select 1::int4', '%int4');
%!   assert (s.value, int32 (1));
%! unwind_protect_cleanup
%!   vorlex ('finish', victim);
%! end_unwind_protect

%!test
%! ## Long columns of arrays of one shape are made in one pass, and a row
%! ## that breaks the shape, a NULL row or an empty array anywhere sends the
%! ## column back to row by row: the same structs as resultGet either way.
%! g = ' from generate_series(1, 10000) g';
%! check_against_result (c, ['select array[g, g+1, g+2]::int4[]' g], '%int4[]');
%! check_against_result (c, ['select array[[g, null], [g*0.5, 2]]::float8[]' g], '%float8[]@');
%! check_against_result (c, ['select array[[[g > 3]]]::bool[], array[timestamp ''2000-01-01'' ' ...
%!                           '+ g * interval ''1 s'']::timestamp[], array[g]::float4[]' g], ...
%!                       '%bool[] %timestamp[] %float4[]', 'columnVectors', false);
%! check_against_result (c, ['select array[array[g, g], array[g, g], array[g, g]]::int8[]' g], ...
%!                       '%int8[]');
%! for breaks = {'null', 'array[1, 2]::int2[]', '''{}''::int2[]'}
%!   for at = [1 5000 10000]
%!     check_against_result (c, sprintf (['select case when g = %d then %s else ' ...
%!                                        'array[g]::int2[] end' g], at, breaks{1}), '%int2[]');
%!   end
%! end
%! ## Around the length from which the host cuts the cells.
%! for n = [4095 4096]
%!   check_against_result (c, sprintf ('select array[date ''2000-01-01'' + g] from generate_series(1, %d) g', n), ...
%!                         '%date[]');
%! end

%!test
%! ## Under a memory limit (a child process under ulimit -v): output that
%! ## cannot grow is refused as outOfMemory and the connection still works;
%! ## one row holding a large array asks for its own size only.
%! cases = {
%!   ['select ' strjoin(repmat ({'g::int8'}, 1, 16), ', ') ' from generate_series(1, 4000000) g'], ...
%!     strjoin(repmat({'%int8'}, 1, 16)), 'vorlex:copyOut:outOfMemory'
%!   'select array_fill(0.5::float8, array[5000000])', '%float8[]', ''
%! };
%! here = fileparts (which ('vorlex'));
%! for k = 1:rows (cases)
%!   [sql, format, id] = cases{k, :};
%!   code = sprintf (['addpath (''%s''); c = vorlex (''connect'', ''''); ' ...
%!                    'out = cell (1, %d); got = ''''; ' ...
%!                    'try [out{:}] = vorlex (''copyOut'', c, ''%s'', ''%s''); ' ...
%!                    'catch e; got = e.identifier; end; out = []; ' ...
%!                    'printf (''[%%s] %%d\\n'', got, vorlex (''query'', c, ''select 7 as x'').x);'], ...
%!                   here, numel (strfind (format, '%')), sql, format);
%!   [~, output] = system (sprintf ('ulimit -v 750000; octave-cli --no-gui -q --eval "%s" 2>&1', code));
%!   assert (! isempty (strfind (output, sprintf ('[%s] 7', id))), output);
%! end

%!test
%! vorlex ('finish', c);
