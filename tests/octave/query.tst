## query: one call from SQL and parameters to a struct of columns, each read
## by its type; and fieldType.  The catalogue's types read as resultGet reads
## them, the others as the server's text; the classes of columns, which the
## values never change; field names; parameters converted to the server's
## types, by class where it has none, and by format; the options; the text
## results a type without a binary reader brings; and the checks of every
## argument.

%!shared c
%! c = vorlex ('connect', '');
%! vorlex ('exec', c, 'set timezone = ''UTC''');
%! vorlex ('exec', c, 'create type pg_temp.q_mood as enum (''sad'', ''ok'', ''happy'')');
%! vorlex ('exec', c, 'create domain pg_temp.q_posint as int4 check (value > 0)');

%!function assert_id (err, id)
%!  if (! strcmp (err.identifier, id))
%!    error ('expected %s, got %s: %s', id, err.identifier, err.message);
%!  end
%!endfunction

%!function [d, i] = q (c, varargin)
%!  [d, i] = vorlex ('query', c, varargin{:});
%!endfunction

%!function v = get_as_result_get (c, sql, spec)
%!  ## SQL's first column read by exec and resultGet with the specifier SPEC.
%!  r = vorlex ('exec', c, sql);
%!  s = vorlex ('resultGet', r, spec, 0);
%!  vorlex ('clear', r);
%!  v = s.value;
%!endfunction

%!test
%! ## The catalogue's types, scalar and array, read as resultGet reads them
%! ## (integers and bool in their classes with keepClass).
%! cases = {
%!   'bool',        '%bool',        'true), (false'
%!   'bytea',       '%bytea',       '''\x00ff''), (''\x'''
%!   'name',        '%name',        '''nm''), (''x'''
%!   'text',        '%text',        '''h€llo''), (''''' 
%!   'json',        '%json',        '''{"a": [1, 2]}''), (''null'''
%!   'xml',         '%xml',         '''<a>x</a>''), (''t'''
%!   'bpchar',      '%bpchar',      '''ab ''), (''x'''
%!   'varchar',     '%varchar',     '''v w''), (''x'''
%!   'numeric',     '%numeric',     '1.50), (''NaN'''
%!   'int2',        '%int2',        '-32768), (7'
%!   'int4',        '%int4',        '2147483647), (0'
%!   'int8',        '%int8',        '-9223372036854775808), (1'
%!   'float4',      '%float4',      '1.5), (''-Infinity'''
%!   'float8',      '%float8',      '-0.125), (''NaN'''
%!   'date',        '%date',        '''2000-01-01''), (''infinity'''
%!   'time',        '%time',        '''06:00:00.5''), (''24:00'''
%!   'timetz',      '%timetz',      '''06:00+02''), (''00:00-05:30'''
%!   'timestamp',   '%timestamp',   '''2000-01-01 12:00:00.25''), (''4713-01-01 00:00 BC'''
%!   'timestamptz', '%timestamptz', '''2024-02-29 18:00+01''), (''-infinity'''
%! };
%! for k = 1:rows (cases)
%!   [type, spec, vals] = cases{k, :};
%!   scalar = sprintf ('select v::%s as v from (values (%s)) s(v)', type, vals);
%!   [d, i] = q (c, scalar, 'keepClass', true);
%!   assert (isequaln (d.v, get_as_result_get (c, scalar, spec)), type);
%!   assert ({i.columns.type, i.columns.name}, {type, 'v'});
%!   array = sprintf ('select array[[v::%s], [v::%s]] as v from (values (%s)) s(v)', type, type, vals);
%!   [d, i] = q (c, array, 'keepClass', true);
%!   assert (isequaln (d.v, get_as_result_get (c, array, [spec '[]'])), [type '[]']);
%!   assert (i.columns.type, ['_' type]);
%!   assert (i.columns.elementIsNull, {false(2, 1); false(2, 1)});
%! end

%!test
%! ## Other types read as the server's text, their arrays as cells of texts;
%! ## enums as labels and domains as their base types.
%! cases = {
%!   'jsonb',    '''{"b": 1, "a": [true, null]}''', '{"a": [true, null], "b": 1}'
%!   'uuid',     '''A0EEBC99-9C0B-4EF8-BB6D-6BB9BD380A11''', 'a0eebc99-9c0b-4ef8-bb6d-6bb9bd380a11'
%!   'interval', '''1 year 2 mons -3 days 04:05:06.5''', '1 year 2 mons -3 days +04:05:06.5'
%!   'interval', '''-1 day -00:00:00.000001''', '-1 days -00:00:00.000001'
%!   'inet',     '''192.168.0.1/24''', '192.168.0.1/24'
%!   'inet',     '''::ffff:1.2.3.4''', '::ffff:1.2.3.4'
%!   'cidr',     '''2001:db8::/32''', '2001:db8::/32'
%!   'macaddr',  '''08-00-2b-01-02-03''', '08:00:2b:01:02:03'
%!   'macaddr8', '''08:00:2b:01:02:03:04:05''', '08:00:2b:01:02:03:04:05'
%!   'q_mood',   '''happy''', 'happy'
%! };
%! for k = 1:rows (cases)
%!   [type, literal, text] = cases{k, :};
%!   [d, i] = q (c, sprintf ('select %s::%s as v, array[null, %s::%s] as a', literal, type, literal, type));
%!   assert (isequal (d.v, {text}) && isequal (d.a, {{[]; text}}), type);
%!   assert ({i.columns.type}, {type, ['_' type]});
%! end
%! [d, i] = q (c, 'select 5::q_posint as v, array[1, 2]::q_posint[] as a');
%! assert (d.v, 5);
%! assert (d.a, {[1; 2]});
%! assert ({i.columns.type}, {'int4', '_q_posint'});

%!test
%! ## Column classes depend on the type and the options only: each type read
%! ## with and without a NULL, by default and with keepClass; the masks in info.
%! E = zeros (0, 0);
%! id = 'a0eebc99-9c0b-4ef8-bb6d-6bb9bd380a11';
%! cases = {
%!   'bool',        'true',                    [1; NaN],            [true; false]
%!   'int2',        '1',                       [1; NaN],            int16([1; 0])
%!   'int4',        '1',                       [1; NaN],            int32([1; 0])
%!   'int8',        '1',                       [1; NaN],            int64([1; 0])
%!   'float4',      '1.5',                     single([1.5; NaN]),  single([1.5; NaN])
%!   'float8',      '1.5',                     [1.5; NaN],          [1.5; NaN]
%!   'numeric',     '1.5',                     {'1.5'; E},          {'1.5'; E}
%!   'text',        '''a''',                   {'a'; E},            {'a'; E}
%!   'bytea',       '''\x01''',                {uint8(1); E},       {uint8(1); E}
%!   'date',        '''2000-01-01''',          [730486; NaN],       [730486; NaN]
%!   'timestamptz', '''2000-01-01 12:00+00''', [730486.5; NaN],     [730486.5; NaN]
%!   'uuid',        ['''' id ''''],            {id; E},             {id; E}
%!   'jsonb',       '''[1]''',                 {'[1]'; E},          {'[1]'; E}
%!   'q_mood',      '''ok''',                  {'ok'; E},           {'ok'; E}
%!   'int4[]',      '''{1,NULL}''',            {[1; NaN]; E},       {int32([1; 0]); E}
%!   'text[]',      '''{a,NULL}''',            {{'a'; E}; E},       {{'a'; E}; E}
%!   'float8[]',    '''{NULL,2}''',            {[NaN; 2]; E},       {[NaN; 2]; E}
%!   'bool[]',      '''{t,NULL}''',            {[1; NaN]; E},       {[true; false]; E}
%! };
%! for k = 1:rows (cases)
%!   [type, literal, plain, kept] = cases{k, :};
%!   sql = sprintf ('select v::%s as v from (values (%s), (null)) s(v)', type, literal);
%!   for keep = [false, true]
%!     want = {plain, kept}{keep + 1};
%!     [d, i] = q (c, sql, 'keepClass', keep);
%!     assert (isequaln (d.v, want) && strcmp (class (d.v), class (want)), [type ' ' num2str(keep)]);
%!     if (iscell (want))
%!       assert (cellfun (@class, d.v, 'UniformOutput', false), cellfun (@class, want, 'UniformOutput', false));
%!     end
%!     assert (i.columns.isNull, [false; true]);
%!     d = q (c, [sql ' limit 1'], 'keepClass', keep);
%!     assert (strcmp (class (d.v), class (want)), [type ' without a NULL']);
%!   end
%! end
%! ## An int8 beyond 2^53 has no exact double: refused unless keepClass.
%! for sql = {'select 9007199254740993::int8 as big', 'select array[-9007199254740993]::int8[] as big'}
%!   try
%!     q (c, sql{1});
%!     error ('no error, expected int8Precision');
%!   catch err
%!     assert_id (err, 'vorlex:query:int8Precision');
%!     assert (! isempty (strfind (err.message, 'column 1 ''big''')) && ! isempty (strfind (err.message, 'row 1:')) && ! isempty (strfind (err.message, '''keepClass'', true')));
%!   end
%! end
%! assert (q (c, 'select 9007199254740993::int8 as big', 'keepClass', true).big, int64 (9007199254740993));
%! assert (q (c, 'select 9007199254740992::int8 as big').big, 2^53);

%!test
%! ## Field names: valid and unique, the names as the server gives them in info.
%! [d, i] = q (c, ['select 1 as "count(*)", 2, 3 as a, 4 as a, 5 as "1x", 6 as "for", ' ...
%!                 '7 as "a b", 8 as "_u"']);
%! fields = {'count___', 'x_column_', 'a', 'a_1', 'x1x', 'xFor', 'aB', 'x_u'};
%! assert (fieldnames (d)', fields);
%! assert ({i.columns.name}, {'count(*)', '?column?', 'a', 'a', '1x', 'for', 'a b', '_u'});
%! assert ({i.columns.field}, fields);
%! assert (d.a_1, 4);

%!test
%! ## Parameters converted to the types the server has for them, each read
%! ## back as text from a column of the type it was stored in and found
%! ## again by `where column = $1`; values a type cannot take are refused
%! ## before anything runs (the server's own refusal of a text: queryFailed).
%! vorlex ('exec', c, ['create temp table q_p (i2 int2, i4 int4, i8 int8, f4 float4, n numeric, ' ...
%!   'b bool, d date, ts timestamp, tz timestamptz, iv interval, u uuid, j jsonb, m q_mood, ' ...
%!   'ip inet, r daterange, x text, xa text[], ua uuid[], y bytea, ia int4[], p q_posint)']);
%! uid = 'a0eebc99-9c0b-4ef8-bb6d-6bb9bd380a11';
%! cases = {
%!   'i2', 7,                                  '7'
%!   'i4', -2147483648,                        '-2147483648'
%!   'i8', 2^53,                               '9007199254740992'
%!   'i8', int32(-5),                          '-5'
%!   'i8', uint64(intmax('int64')),            '9223372036854775807'
%!   'f4', 1.5,                                '1.5'
%!   'n',  0.1,                                '0.1'
%!   'n',  intmax('uint64'),                   '18446744073709551615'
%!   'b',  true,                               'true'
%!   'd',  datenum(2024, 2, 29),               '2024-02-29'
%!   'ts', datenum(2000, 1, 2, 6, 0, 0),       '2000-01-02 06:00:00'
%!   'tz', datenum(2000, 1, 2, 6, 0, 0),       '2000-01-02 06:00:00+00'
%!   'iv', 1.5,                                '1 day 12:00:00'
%!   'u',  upper(uid),                         uid
%!   'j',  '{"b": 1, "a": [2]}',               '{"a": [2], "b": 1}'
%!   'm',  'happy',                            'happy'
%!   'ip', '10.0.0.1/8',                       '10.0.0.1/8'
%!   'i4', '42',                               '42'
%!   'r',  '[2020-01-01,2020-02-01)',          '[2020-01-01,2020-02-01)'
%!   'xa', {'a', [], 'b"\c'},                  '{{a,NULL,"b\"\\c"}}'
%!   'ua', {uid},                              ['{{' uid '}}']
%!   'y',  uint8([0 255]),                     '\x00ff'
%!   'ia', [1 2; 3 4],                         '{{1,2},{3,4}}'
%!   'p',  5,                                  '5'
%! };
%! for k = 1:rows (cases)
%!   [col, value, text] = cases{k, :};
%!   vorlex ('exec', c, 'truncate q_p');
%!   q (c, sprintf ('insert into q_p (%s) values ($1)', col), {value});
%!   d = q (c, sprintf ('select %s::text as v, count(*) over () as n from q_p where %s = $1', col, col), {value});
%!   assert (isequal (d.v, {text}), sprintf ('%s %s', col, class (value)));
%! end
%! refused = {
%!   'i4', 2.5,           'paramValue'
%!   'i4', NaN,           'paramValue'
%!   'i4', 1e10,          'paramValue'
%!   'i8', intmax('uint64'), 'paramValue'
%!   'b',  2,             'paramValue'
%!   'd',  NaN,           'paramValue'
%!   'x',  1,             'paramClass'
%!   'i4', true,          'paramClass'
%!   'u',  'not-a-uuid',  'queryFailed'
%! };
%! for k = 1:rows (refused)
%!   [col, value, id] = refused{k, :};
%!   try
%!     q (c, sprintf ('select 1 from q_p where %s = $1', col), {value});
%!     error ('no error, expected %s', id);
%!   catch err
%!     assert_id (err, ['vorlex:query:' id]);
%!   end
%! end
%! ## Where the server has no type of its own, the class's; in a
%! ## transaction, which goes on; a cell format names some types.
%! assert (q (c, 'select $1 as v', {2.5}).v, 2.5);
%! assert (q (c, 'select $1 as v', {'x'}).v, {'x'});
%! vorlex ('exec', c, 'begin');
%! assert (q (c, 'select pg_typeof($1)::text as t', {int32(1)}).t, {'integer'});
%! assert (q (c, 'select count(*)::int4 as n from q_p').n, 1);
%! vorlex ('exec', c, 'rollback');
%! d = q (c, 'select $1::text as a, pg_typeof($2)::text as b, $3 as n', ...
%!        {datenum(2000, 1, 2, 6, 0, 0), 7, []}, 'format', {'%timestamptz', '', '%int8'});
%! assert ({d.a, d.b, d.n}, {{'2000-01-02 06:00:00+00'}, {'double precision'}, NaN});
%! ## A statement whose run fails is described anew: its table may have
%! ## changed the types since.
%! sql = 'select 1 from q_p where i2 = $1';
%! q (c, sql, {1});
%! vorlex ('exec', c, 'alter table q_p alter i2 type text');
%! for id = {'queryFailed', 'paramClass'}
%!   try
%!     q (c, sql, {1});
%!     error ('no error, expected %s', id{1});
%!   catch err
%!     assert_id (err, ['vorlex:query:' id{1}]);
%!   end
%! end
%! vorlex ('exec', c, 'drop table q_p');

%!test
%! ## Parameters by class where the server has no type: the type each class
%! ## is sent as, and back.
%! cases = {
%!   2.5,              'double precision',   2.5
%!   single(2.5),      'real',               single(2.5)
%!   int8(-5),         'smallint',           int16(-5)
%!   int16(-5),        'smallint',           int16(-5)
%!   int32(7),         'integer',            int32(7)
%!   int64(2)^60,      'bigint',             int64(2)^60
%!   uint8([1; 200]),  'smallint[]',         {int16([1; 200])}
%!   uint8([1 200]),   'bytea',              {uint8([1 200])}
%!   uint16(65535),    'integer',            int32(65535)
%!   uint32(4e9),      'bigint',             int64(4e9)
%!   true,             'boolean',            true
%!   'héllo',          'text',               {'héllo'}
%!   '',               'text',               {''}
%!   {'a', 'b c'},     'text[]',             {{'a', 'b c'}}
%!   [1 2; 3 4],       'double precision[]', {[1 2; 3 4]}
%!   [true false],     'boolean[]',          {[true false]}
%!   zeros(1, 0),      'double precision[]', {[]}
%! };
%! for k = 1:rows (cases)
%!   [value, type, back] = cases{k, :};
%!   [d, i] = q (c, 'select pg_typeof($1)::text as t, $1 as v', {value}, 'keepClass', true);
%!   assert (isequal (d.t, {type}) && isequal (d.v, back), type);
%! end
%! ## [] is NULL of the type the server infers; {} no parameters.
%! [d, i] = q (c, 'select $1 + 1 as v, $2::text as t', {[], []});
%! assert ({d.v, i.columns(1).type, d.t}, {NaN, 'int4', {[]}});
%! assert (q (c, 'select 3 as v', {}).v, 3);
%! assert (q (c, 'select 3 as v', []).v, 3);

%!test
%! ## Parameters by format, as paramPut takes them; [] is a NULL of the type.
%! [d, i] = q (c, 'select pg_typeof($1)::text as a, $2::text as b, pg_typeof($3)::text as n', ...
%!             {7, datenum(2000, 1, 2, 6, 0, 0), []}, 'format', '%int4 %timestamp %int8');
%! assert ({d.a, d.b, d.n}, {{'integer'}, {'2000-01-02 06:00:00'}, {'bigint'}});
%! d = q (c, 'select $1 as v', {{'1.5', '-2'}}, 'FORMAT', '%numeric[]', 'numeric', 'double');
%! assert (d.v, {[1.5, -2]});

%!test
%! ## Options: numeric as double, the cell output, and statements without rows.
%! d = q (c, ['select 1.25::numeric as n, ''NaN''::numeric as m, null::numeric as z, ' ...
%!            '-1e400::numeric as b, 1e-400::numeric as s'], 'numeric', 'Double');
%! assert ({d.n, d.m, d.z, d.b, d.s}, {1.25, NaN, NaN, -Inf, 0});
%! d = q (c, 'select g::int4 as a, g::text as b from generate_series (1, 3) g', ...
%!        'output', 'cell');
%! assert (d, {1, '1'; 2, '2'; 3, '3'});
%! d = q (c, 'select 1 as a where false', 'output', 'cell');
%! assert (size (d), [0 1]);
%! [d, i] = q (c, 'create temp table q_t (a int4, b text)');
%! assert (isstruct (d) && isempty (d) && isempty (fieldnames (d)));
%! assert ({i.command, i.rowCount, numel(i.columns)}, {'CREATE TABLE', 0, 0});
%! [d, i] = q (c, 'insert into q_t values ($1, $2), (2, null)', {int32(1), 'x'});
%! assert ({i.command, i.rowCount}, {'INSERT 0 2', 2});
%! [d, i] = q (c, 'select * from q_t order by a', 'output', 'cell');
%! assert (d, {1, 'x'; 2, []});
%! assert (i.rowCount, 2);
%! assert (size (q (c, 'drop table q_t', 'output', 'cell')), [0 0]);

%!test
%! ## A column without a binary reader is read as text alone: the result comes
%! ## as text, and every other column, arrays included, reads as without it.
%! cols = ['1::int4 as i, 2::int8 as j, 1.5::float8 as f, true as b, -1.5e-7::float4 as r, ' ...
%!         'array[[0.38, -0.31, 2], [1, ''-Infinity'', null]]::float8[] as fa, ' ...
%!         'array[1, null]::int4[] as ia, array[array[array[2]]]::int2[] as i3, ''{}''::int4[] as ie, ' ...
%!         'array[''a b'', null, ''x"y\z'', ''NULL'', '''', ''{,}'']::text[] as ta, array[true, null] as ba, ' ...
%!         'array[''\x01ff''::bytea, null] as ya, array[''2000-01-01 12:00''::timestamp] as da, ' ...
%!         '''2024-02-29 18:00+01''::timestamptz as tz, ''\x0102''::bytea as y, 2.50::numeric as n, ' ...
%!         'array[1.5, null]::numeric[] as na, ''a0eebc99-9c0b-4ef8-bb6d-6bb9bd380a11''::uuid as u, ' ...
%!         'array[''{"k": 1}''::jsonb] as js, ''happy''::q_mood as m, ''0044-03-15 BC''::date as d, ' ...
%!         '''06:00:01.5''::time as t, ''ab''::varchar as v, null::int4 as z, null::text as zt'];
%! for opts = {{'keepClass', false}, {'keepClass', true}, {'numeric', 'double'}}
%!   [binary, bi] = q (c, ['select ' cols], opts{1}{:});
%!   [text, ti] = q (c, ['select ' cols ', ''(1,2)''::point as p, 12.5::money as mo'], opts{1}{:});
%!   assert ({text.p, ti.columns(end - 1).type}, {{'(1,2)'}, 'point'});
%!   assert (isequaln (rmfield (text, {'p', 'mo'}), binary), opts{1}{1});
%!   assert (isequaln (ti.columns(1:end - 2), bi.columns));
%! end

%!test
%! ## fieldType: the OID and the name, asked of the server for types the
%! ## module does not know, while the result's connection is open.
%! other = vorlex ('connect', '');
%! vorlex ('exec', other, 'create type pg_temp.q_color as enum (''red'')');
%! r = vorlex ('exec', other, 'select 1::int4, array[1]::int8[], ''red''::q_color, ''1 day''::interval, ''(1,2)''::point');
%! cases = {0, 23, 'int4'; 1, 1016, '_int8'; 3, 1186, 'interval'; 4, 600, 'point'};
%! for k = 1:rows (cases)
%!   [oid, name] = vorlex ('fieldType', r, cases{k, 1});
%!   assert ({oid, name}, cases(k, 2:3));
%! end
%! [oid, name] = vorlex ('fieldType', r, 2);
%! assert (name, 'q_color');
%! assert (vorlex ('fieldType', r, 2), oid);
%! t = vorlex ('execText', other, 'select ''(1,2)''::point');
%! [~, name] = vorlex ('fieldType', t, 0);
%! assert (name, 'point');
%! vorlex ('finish', other);
%! [oid2, name] = vorlex ('fieldType', r, 2);
%! assert ({oid2, name}, {oid, ''});
%! assert (nthargout (2, @vorlex, 'fieldType', r, 0), 'int4');
%! vorlex ('clear', r);
%! vorlex ('clear', t);

%!test
%! ## Every argument checked under its own identifier; the connection goes on.
%! s = 'select $1 as v';
%! cases = {
%!   {c, s, 5},                                'paramsNotCell'
%!   {c, s, {struct('a', 1)}},                 'paramClass'
%!   {c, s, {{1, 2}}},                         'paramClass'
%!   {c, s, {@sin}},                           'paramClass'
%!   {c, s, {1 + 2i}},                         'paramComplex'
%!   {c, s, {sparse(1)}},                      'paramSparse'
%!   {c, s, {['ab'; 'cd']}},                   'notRow'
%!   {c, s, {1, 2}},                           'paramCount'
%!   {c, 'select $1 + $2', {1}},               'paramCount'
%!   {c, 'select 1', {1}},                     'paramCount'
%!   {c, 'select $1, $2', {1}},                'paramCount'
%!   {c, s, {1}, 'colour', 1},                 'unknownOption'
%!   {c, s, {1}, 5, 1},                        'optionNotChar'
%!   {c, s, {1}, 'numeric'},                   'nargin'
%!   {c, s, {1}, 'numeric', 'float'},          'optionValue'
%!   {c, s, {1}, 'output', 3},                 'optionValue'
%!   {c, s, {1}, 'format', 5},                 'formatNotChar'
%!   {c, s, {1}, 'format', {5}},               'formatNotChar'
%!   {c, s, {1}, 'format', {'%int4', ''}},     'formatCount'
%!   {c, s, {1}, 'format', '%nosuchtype'},     'badFormat'
%!   {c, s, {1}, 'format', '%int4 %int4'},     'tooManySpecifiers'
%!   {c, 'select 1', 'format', '%int4'},       'tooManySpecifiers'
%!   {c, s, {'x'}, 'format', '%int4'},         'wrongClass'
%!   {c, ['select 1' char(0)]},                'sqlHasNul'
%!   {c, 5},                                   'sqlNotText'
%!   {int32(1), s},                            'connectionClass'
%!   {c, 'select * from q_no_such_table'},     'queryFailed'
%!   {c, 'select 1/0'},                        'queryFailed'
%!   {c, 'select 1 / (3000 - g) from generate_series(1, 5000) g'}, 'queryFailed.*at row 3000'
%!   {c, 'copy (select 1) to stdout'},         'copyStatement'
%! };
%! for k = 1:rows (cases)
%!   [args, id] = cases{k, :};
%!   [id, text] = strtok (id, '.');
%!   try
%!     vorlex ('query', args{:});
%!     error ('no error, expected %s', id);
%!   catch err
%!     assert_id (err, ['vorlex:query:' id]);
%!     assert (isempty (text) || ! isempty (regexp (err.message, text(3:end), 'once')), err.message);
%!   end
%! end
%! try
%!   vorlex ('fieldType', uint32 (0), 0);
%!   error ('no error');
%! catch err
%!   assert_id (err, 'vorlex:fieldType:noResults');
%! end
%! assert (q (c, 'select $1::int4 + 1 as v', {41}).v, 42);

%!test
%! ## A statement run again skips its description, and its columns are
%! ## checked against what the result holds: a type or name changed in
%! ## between reads as it is now.  A plain query (read through COPY) learns
%! ## of the change before its rows; one with parameters has run when it
%! ## does, and a column it can no longer read in the form asked for is
%! ## refused once, and read on the next run.
%! vorlex ('exec', c, 'create temp table q_again (a int4)');
%! vorlex ('exec', c, 'insert into q_again values (1)');
%! steps = {
%!   '',                                                       'a', 1,         ''
%!   'alter table q_again alter a type float8',                'a', 1,         ''
%!   'alter table q_again rename a to b',                      'b', 1,         ''
%!   'alter table q_again alter b type point using point(b, b)', 'b', {'(1,1)'}, 'vorlex:query:statementChanged'
%!   'alter table q_again alter b type text',                  'b', {'(1,1)'}, ''
%! };
%! for k = 1:rows (steps)
%!   [ddl, field, value, id] = steps{k, :};
%!   if (! isempty (ddl))
%!     vorlex ('exec', c, ddl);
%!   end
%!   d = q (c, 'select * from q_again');
%!   assert (fieldnames (d), {field});
%!   assert (d.(field), value);
%!   if (! isempty (id))
%!     try
%!       q (c, 'select * from q_again where $1', {true});
%!       error ('no error, expected %s', id);
%!     catch err
%!       assert_id (err, id);
%!     end
%!   end
%!   d = q (c, 'select * from q_again where $1', {true});
%!   assert (d.(field), value);
%! end

%!test
%! ## A plain query is read through COPY, one with parameters from a whole
%! ## result: both give the same data and info, in and out of a transaction
%! ## block (whose statements still run after the read).
%! sqls = {
%!   'select g as a, g / 7.0 as b, md5(g::text) as t, now() as n, array[g, null] as e from generate_series(1, 3000) g'
%!   'select 1 as a, 2 as a'
%!   'values (1::int8, null::text), (null, ''x'')'
%!   'select null::int2 as i, true as b, 1.5::numeric as m, ''\x01''::bytea as y, ''{"a":1}''::jsonb as j, ''(1,2)''::point as p'
%!   'with x as (select 1 as q) select * from x -- a comment'
%!   'select 1 where false'
%! };
%! vorlex ('exec', c, 'begin');
%! for k = 1:numel (sqls)
%!   [d1, i1] = vorlex ('query', c, sqls{k});
%!   [d2, i2] = vorlex ('query', c, ['select * from (' strtok(sqls{k}, '-') ') s where $1'], {true});
%!   assert (isequaln ({d1, i1}, {d2, i2}), sqls{k});
%! end
%! vorlex ('exec', c, 'commit');
