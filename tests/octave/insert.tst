## insert loads a struct into a table by column name, each value sent as
## its column's type, which the server reports: round trips of every type
## insert sends, the binding of fields to columns, the checks that refuse a
## load before anything is stored, and names that must never run as SQL.

%!shared c
%! c = vorlex ('connect', '');
%! vorlex ('exec', c, 'set timezone = ''UTC''');
%! vorlex ('exec', c, 'create type pg_temp.it_mood as enum (''sad'', ''ok'', ''happy'')');
%! vorlex ('exec', c, 'create domain pg_temp.it_pos as int4 check (value > 0)');

%!function v = value_of (c, sql)
%!  ## The first value of SQL's result (text, or a number as a double);
%!  ## SQL must succeed.
%!  r = vorlex ('execText', c, sql);
%!  unwind_protect
%!    if (vorlex ('resultStatus', r) != 2)
%!      error ('%s: %s', sql, vorlex ('resultErrorMessage', r));
%!    end
%!    v = vorlex ('getValue', r, 0, 0);
%!    if (isnumeric (v))
%!      v = double (v);
%!    end
%!  unwind_protect_cleanup
%!    vorlex ('clear', r);
%!  end_unwind_protect
%!endfunction

%!function err = insert_error (id, varargin)
%!  try
%!    vorlex ('insert', varargin{:});
%!  catch err
%!    if (! strcmp (err.identifier, id))
%!      error ('expected %s, got %s: %s', id, err.identifier, err.message);
%!    end
%!    return;
%!  end_try_catch
%!  error ('no error, expected %s', id);
%!endfunction

%!test
%! ## Each column type with the host values it takes (two rows, or one),
%! ## and the server's text of what it stored.
%! cases = {
%!   'bool',          logical([1; 0]),              'true|false'
%!   'bool',          [0; 1],                       'false|true'
%!   'int2',          int16([-7; 300]),             '-7|300'
%!   'int2',          uint8([1; 255]),              '1|255'
%!   'int4',          [8; -70000],                  '8|-70000'
%!   'int4',          logical([1; 0]),              '1|0'
%!   'int8',          int64([9; -2^40]),            '9|-1099511627776'
%!   'int8',          [2^53; -5],                   '9007199254740992|-5'
%!   'int8',          uint64(intmax('int64')),      '9223372036854775807'
%!   'float4',        single([1.5; -0.25]),         '1.5|-0.25'
%!   'float4',        [0.1; -Inf],                  '0.1|-Infinity'
%!   'float8',        [2.25; -Inf],                 '2.25|-Infinity'
%!   'float8',        int32([3; -4]),               '3|-4'
%!   'numeric',       [0.1; -3],                    '0.1|-3'
%!   'numeric',       [1/3; 1e20],                  '0.3333333333333333|100000000000000000000'
%!   'numeric',       int64(-2^62),                 '-4611686018427387904'
%!   'numeric',       {'1.50'; '-1e-3'},            '1.50|-0.001'
%!   'text',          {'tx'; 't x  '},              'tx|t x  '
%!   'text',          ['ab'; 'cd'],                 'ab|cd'
%!   'text',          {'é'; []},                    'é|NULL'
%!   'varchar(5)',    {'vc'; ''},                   'vc|'
%!   'char(3)',       {'bp'; 'abc'},                'bp|abc'
%!   'name',          {'nm'},                       'nm'
%!   'json',          {'{"a": [1, 2]}'},            '{"a": [1, 2]}'
%!   'jsonb',         {'{"b": 1, "a": [1, 2]}'; []}, '{"a": [1, 2], "b": 1}|NULL'
%!   'xml',           {'<a>x</a>'},                 '<a>x</a>'
%!   'it_mood',       {'ok'; 'sad'},                'ok|sad'
%!   'it_pos',        [3; 4],                       '3|4'
%!   'date',          730486 + [0; 1000],           '2000-01-01|2002-09-27'
%!   'time',          [0.25; 730486.75],            '06:00:00|18:00:00'
%!   'timetz',        0.5,                          '12:00:00+00'
%!   'timestamp',     [730486.5; Inf],              '2000-01-01 12:00:00|infinity'
%!   'timestamptz',   730486.75,                    '2000-01-01 18:00:00+00'
%!   'bytea',         {uint8([1 2 255]); uint8([])}, '\x0102ff|\x'
%!   'bytea',         uint8([1 2; 3 4]),            '\x0102|\x0304'
%!   'int4[]',        {[1 2 3]; int32([4 5; 6 7])}, '{1,2,3}|{{4,5},{6,7}}'
%!   'int4[]',        int32([1 2; 3 4]),            '{1,2}|{3,4}'
%!   'int8[]',        {int64([1; 2]); []},          '{1,2}|NULL'
%!   'float8[]',      [0.5 1.5],                    '{0.5,1.5}'
%!   'bool[]',        {logical([1 0])},             '{t,f}'
%!   'text[]',        {{'a', 'b c'}; {}},           '{a,"b c"}|{}'
%!   'numeric[]',     {{'1.5', '2'}},               '{1.5,2}'
%!   'date[]',        {730486 + [0 1]},             '{2000-01-01,2000-01-02}'
%! };
%! for k = 1:rows (cases)
%!   [type, value, expected] = cases{k, :};
%!   vorlex ('exec', c, sprintf ('create temp table it_rt (k serial, c %s)', type));
%!   unwind_protect
%!     n = vorlex ('insert', c, 'it_rt', struct ('c', {value}));
%!     assert (n == size (value, 1), type);
%!     got = value_of (c, 'select string_agg(coalesce(c::text, ''NULL''), ''|'' order by k) from it_rt');
%!     assert (strcmp (got, expected), '%s from %s: stored %s', type, class (value), got);
%!   unwind_protect_cleanup
%!     vorlex ('exec', c, 'drop table it_rt');
%!   end_unwind_protect
%! end

%!test
%! ## NaN is NULL in every column type, array elements too, as query reads
%! ## a NULL, and so is [] as an element of a cell; 'nan', 'value' stores
%! ## float and numeric NaN, and refuses NaN where the type has none ('').
%! cases = {
%!   'float4',      single([NaN; 1]),   'NULL|1',             'NaN|1'
%!   'float8',      [0.5; NaN],         '0.5|NULL',           '0.5|NaN'
%!   'numeric',     [NaN; 2],           'NULL|2',             'NaN|2'
%!   'int2',        [NaN; 1],           'NULL|1',             ''
%!   'int8',        single([2; NaN]),   '2|NULL',             ''
%!   'bool',        [NaN; 1],           'NULL|true',          ''
%!   'date',        [730486; NaN],      '2000-01-01|NULL',    ''
%!   'time',        NaN,                'NULL',               ''
%!   'float8[]',    [0.5 NaN],          '{0.5,NULL}',         '{0.5,NaN}'
%!   'float4[]',    {single([NaN 1])},  '{NULL,1}',           '{NaN,1}'
%!   'int4[]',      {[1 NaN]},          '{1,NULL}',           ''
%!   'bool[]',      [NaN 1],            '{NULL,t}',           ''
%!   'timestamp[]', {[NaN; 730486]},    '{NULL,"2000-01-01 00:00:00"}', ''
%!   'text[]',      {{'a', []}},        '{a,NULL}',           '{a,NULL}'
%!   'numeric[]',   {{[], '1.5'}},      '{NULL,1.5}',         '{NULL,1.5}'
%! };
%! stored = 'select string_agg(coalesce(c::text, ''NULL''), ''|'' order by k) from it_nan';
%! for k = 1:rows (cases)
%!   [type, value, asNull, asValue] = cases{k, :};
%!   data = struct ('c', {value});
%!   vorlex ('exec', c, sprintf ('create temp table it_nan (k serial, c %s)', type));
%!   unwind_protect
%!     vorlex ('insert', c, 'it_nan', data);
%!     got = value_of (c, stored);
%!     assert (strcmp (got, asNull), '%s: stored %s', type, got);
%!     vorlex ('exec', c, 'truncate it_nan');
%!     if (isempty (asValue))
%!       insert_error ('vorlex:insert:badValue', c, 'it_nan', data, 'nan', 'Value');
%!       assert (value_of (c, 'select count(*) from it_nan'), 0);
%!     else
%!       vorlex ('insert', c, 'it_nan', data, 'nan', 'Value');
%!       got = value_of (c, stored);
%!       assert (strcmp (got, asValue), '%s with ''nan'', ''value'': stored %s', type, got);
%!     end
%!   unwind_protect_cleanup
%!     vorlex ('exec', c, 'drop table it_nan');
%!   end_unwind_protect
%! end

%!test
%! ## Types the module has no encoder for take texts, which the server
%! ## converts before the COPY: the server's text of what it stored, and
%! ## whether what query reads back (texts, '' for NULL with its isNull)
%! ## goes in again as the same values.
%! vorlex ('exec', c, 'create domain pg_temp.it_moods as it_mood[] check (cardinality(value) > 0)');
%! u1 = 'a0eebc99-9c0b-4ef8-bb6d-6bb9bd380a11';
%! u2 = 'A0EEBC99-9C0B-4EF8-BB6D-6BB9BD380A12';
%! cases = {
%!   'uuid',       {u1; []},                      [u1 '|NULL'],                             true
%!   'uuid',       [u1; u2],                      [u1 '|' lower(u2)],                       true
%!   'interval',   {'1 day 02:00'; '-3 months'},  '1 day 02:00:00|-3 mons',                 true
%!   'inet',       {'10.1.2.3/8'; '::1'},         '10.1.2.3/8|::1/128',                     true
%!   'cidr',       {'10.1/16'},                   '10.1.0.0/16',                            true
%!   'macaddr',    {'08002b010203'},              '08:00:2b:01:02:03',                      true
%!   'it_mood[]',  {'{sad,ok}'; '{}'},            '{sad,ok}|{}',                            true
%!   'it_mood[]',  {{'sad'; []}; {}},             '{sad,NULL}|{}',                          true
%!   'jsonb[]',    {'{"{\"a\": 1}",NULL}'; []},   '{"{\"a\": 1}",NULL}|NULL',               true
%!   'jsonb[]',    {{'{"a": "x\\"}'}},           '{"{\"a\": \"x\\\\\"}"}',                  true
%!   'it_moods',   {'{happy}'},                   '{happy}',                                true
%! };
%! stored = 'select string_agg(coalesce(c::text, ''NULL''), ''|'' order by k) from it_cast';
%! for k = 1:rows (cases)
%!   [type, value, expected, again] = cases{k, :};
%!   vorlex ('exec', c, sprintf ('create temp table it_cast (k serial, c %s)', type));
%!   unwind_protect
%!     assert (vorlex ('insert', c, 'it_cast', struct ('c', {value})), rows (value));
%!     got = value_of (c, stored);
%!     assert (strcmp (got, expected), '%s from %s: stored %s', type, class (value), got);
%!     if (again)
%!       [d, info] = vorlex ('query', c, 'select c from it_cast order by k');
%!       vorlex ('insert', c, 'it_cast', d, 'nulls', struct ('c', info.columns(1).isNull));
%!       got = value_of (c, stored);
%!       assert (strcmp (got, [expected '|' expected]), '%s read back: stored %s', type, got);
%!     end
%!   unwind_protect_cleanup
%!     vorlex ('exec', c, 'drop table it_cast');
%!   end_unwind_protect
%! end
%! ## A text the type or a domain refuses stores nothing, and the message
%! ## names the first such row; inside a transaction block the block goes on.
%! vorlex ('exec', c, 'create temp table it_cast (u uuid, m it_moods)');
%! refused = {
%!   struct('u', {{u1; 'nope'; 'x'}}),      false, 'row 2: .*22P02 \(invalid_text_representation\)'
%!   struct('m', {{'{ok}'; '{ok}'; '{}'}}), true,  'row 3: .*23514 \(check_violation\)'
%! };
%! unwind_protect
%!   for k = 1:rows (refused)
%!     [data, inBlock, pattern] = refused{k, :};
%!     if (inBlock)
%!       vorlex ('exec', c, 'begin');
%!     end
%!     unwind_protect
%!       err = insert_error ('vorlex:insert:badValue', c, 'it_cast', data);
%!       assert (! isempty (regexp (err.message, pattern, 'once')), err.message);
%!       assert (value_of (c, 'select count(*) from it_cast'), 0);
%!     unwind_protect_cleanup
%!       if (inBlock)
%!         vorlex ('exec', c, 'commit');  # a rollback, if the block failed
%!       end
%!     end_unwind_protect
%!   end
%! unwind_protect_cleanup
%!   vorlex ('exec', c, 'drop table it_cast');
%! end_unwind_protect

%!test
%! ## Fields bind by name, folded to lower case as SQL folds an unquoted
%! ## name, in any order; 'exactNames' binds the column of exactly the
%! ## field's name.  Columns without a field take their defaults, and the
%! ## 'nulls' option makes values NULL, besides those NaN makes NULL.
%! vorlex ('exec', c, ['create temp table it_bind (id int4, "Value" float8, value text, ' ...
%!                     'note text default ''none'', twice int4 generated always as (id * 2) stored, ' ...
%!                     'x float8)']);
%! unwind_protect
%!   sql = ['select string_agg(concat_ws('','', id, "Value", value, note, twice, x), ''|'' ' ...
%!          'order by id) from it_bind'];
%!   assert (vorlex ('insert', c, 'It_Bind', struct ('VALUE', {{'a'; 'b'}}, 'Id', [2; 1])), 2);
%!   assert (value_of (c, sql), '1,b,none,2|2,a,none,4');
%!   vorlex ('insert', c, 'it_bind', struct ('Value', 2.5, 'id', 3, 'x', NaN), 'exactNames', true);
%!   nulls = struct ('id', logical ([0; 1]));
%!   vorlex ('insert', c, 'it_bind', struct ('id', [4; 5], 'x', [NaN; 7]), 'nulls', nulls);
%!   assert (value_of (c, 'select count(*) from it_bind'), 5);
%!   assert (value_of (c, 'select "Value" from it_bind where id = 3'), 2.5);
%!   assert (value_of (c, 'select count(*) from it_bind where id = 3 and x is null'), 1);
%!   assert (value_of (c, 'select count(*) from it_bind where id = 4 and x is null'), 1);
%!   assert (value_of (c, 'select count(*) from it_bind where id is null and x = 7'), 1);
%!   ## No rows: the fields are still bound and checked, and nothing is sent.
%!   assert (vorlex ('insert', c, 'it_bind', struct ('id', zeros (0, 1))), 0);
%!   insert_error ('vorlex:insert:unknownField', c, 'it_bind', struct ('nope', zeros (0, 1)));
%! unwind_protect_cleanup
%!   vorlex ('exec', c, 'drop table it_bind');
%! end_unwind_protect

%!test
%! ## Every refusal leaves the table as it was: the checks run before
%! ## anything is sent, and a value refused while the rows stream, or a row
%! ## the server refuses, ends the COPY so that none of it is kept.
%! vorlex ('exec', c, ['create temp table it_no (id int4, b bool, t text, ts timestamp, ' ...
%!                     's int2, v varchar(2), p point, m it_mood, n numeric, a int4[], ' ...
%!                     'u uuid, g int4 generated always as (1) stored)']);
%! vorlex ('exec', c, 'create temp table it_acl (a aclitem)');
%! vorlex ('exec', c, 'create temp sequence it_seq');
%! vorlex ('exec', c, 'insert into it_no (id) values (1)');
%! two = @(name, value) struct ('id', [1; 2], name, {value});
%! cases = {
%!   'dataNotStruct',   'it_no',  [1 2 3],                              {}
%!   'dataNotStruct',   'it_no',  struct('id', {1, 2}),                {}
%!   'dataNoFields',    'it_no',  struct(),                            {}
%!   'rowCounts',       'it_no',  struct('id', [1; 2], 's', 3),        {}
%!   'unknownField',    'it_no',  struct('id', 1, 'nope', 2),          {}
%!   'unknownField',    'it_no',  struct('g', 1),                      {}
%!   'unknownField',    'it_no',  struct('ID', 1),                     {'exactNames', true}
%!   'duplicateField',  'it_no',  struct('id', 1, 'ID', 2),            {}
%!   'badValue',        'it_no',  two('s', [1; 2.5]),                  {}
%!   'badValue',        'it_no',  struct('id', [1; 3e9]),              {}
%!   'badValue',        'it_no',  two('s', int32([1; 70000])),        {}
%!   'badValue',        'it_no',  two('b', [1; 2]),                    {}
%!   'badValue',        'it_no',  two('a', {[1 2]; [1 2.5]}),          {}
%!   'columnClass',     'it_no',  two('t', [1; 2]),                    {}
%!   'columnClass',     'it_no',  two('s', {1; 2}),                    {}
%!   'columnClass',     'it_no',  two('ts', int32([1; 2])),           {}
%!   'columnShape',     'it_no',  struct('id', [1 2; 3 4]),            {}
%!   'cellClass',       'it_no',  two('t', {'x'; 5}),                  {}
%!   'cellClass',       'it_no',  two('a', {[1 2]; single([1 2])}),    {}
%!   'columnClass',     'it_no',  two('u', [1; 2]),                    {}
%!   'unsupportedType', 'it_acl', struct('a', {{'=r/x'}}),             {}
%!   'badTable',        'it_nope', struct('id', 1),                    {}
%!   'badTable',        'it_seq', struct('id', 1),                     {}
%!   'nullsNotStruct',  'it_no',  struct('id', 1),                     {'nulls', true}
%!   'nullsField',      'it_no',  struct('id', 1),                     {'nulls', struct('t', false)}
%!   'nullsShape',      'it_no',  struct('id', 1),                     {'nulls', struct('id', 0)}
%!   'unknownOption',   'it_no',  struct('id', 1),                     {'exact', true}
%!   'optionValue',     'it_no',  struct('id', 1),                     {'exactNames'}
%!   'optionValue',     'it_no',  struct('id', 1),                     {'nan', 'zero'}
%!   'optionValue',     'it_no',  struct('id', 1),                     {'nan', true}
%!   'textHasNul',      'it_no',  two('t', {'x'; ['a' 0]}),            {}
%!   'putFailed',       'it_no',  two('n', {'1'; 'abc'}),              {}
%!   'rowFailed',       'it_no',  two('v', {'ab'; 'abc'}),             {}
%!   'rowFailed',       'it_no',  two('m', {'ok'; 'bad'}),             {}
%! };
%! unwind_protect
%!   for k = 1:rows (cases)
%!     [check, table, data, options] = cases{k, :};
%!     err = insert_error (['vorlex:insert:' check], c, table, data, options{:});
%!     assert (value_of (c, 'select count(*) from it_no') == 1, '%s: %s', check, err.message);
%!   end
%!   assert (double (value_of (c, 'select 41 + 1')), 42);
%! unwind_protect_cleanup
%!   vorlex ('exec', c, 'drop table it_no');
%!   vorlex ('exec', c, 'drop table it_acl');
%!   vorlex ('exec', c, 'drop sequence it_seq');
%! end_unwind_protect

%!test
%! ## Table and field names are never run as SQL: the COPY names the table
%! ## as the server resolved it and the columns quoted.  A name with a
%! ## quote, a space or a semicolon binds when written as SQL quotes it, and
%! ## is refused otherwise.
%! vorlex ('exec', c, 'create schema "it; sch"');
%! vorlex ('exec', c, 'create table "it; sch"."ta ""ble" ("co""l" int4, "sp ace; --" text)');
%! vorlex ('exec', c, 'create temp table it_keep (a int4)');
%! unwind_protect
%!   s = struct ();
%!   s.('co"l') = [1; 2];
%!   s.('sp ace; --') = {'x'; 'y'};
%!   assert (vorlex ('insert', c, '"it; sch"."ta ""ble"', s, 'exactNames', true), 2);
%!   assert (value_of (c, ['select string_agg(concat("co""l", "sp ace; --"), '','') ' ...
%!                         'from "it; sch"."ta ""ble"']), '1x,2y');
%!   insert_error ('vorlex:insert:badTable', c, 'it; sch.ta "ble', s);
%!   insert_error ('vorlex:insert:badTable', c, 'it_keep; drop table it_keep', struct ('a', 1));
%!   insert_error ('vorlex:insert:badTable', c, 'it_keep (a)', struct ('a', 1));
%!   hostile = struct ();
%!   hostile.('a) from stdin; drop table it_keep; --') = 1;
%!   insert_error ('vorlex:insert:unknownField', c, 'it_keep', hostile);
%!   insert_error ('vorlex:insert:unknownField', c, 'it_keep', hostile, 'exactNames', true);
%!   assert (value_of (c, 'select count(*) from it_keep'), 0);
%! unwind_protect_cleanup
%!   vorlex ('exec', c, 'drop schema "it; sch" cascade');
%!   vorlex ('exec', c, 'drop table it_keep');
%! end_unwind_protect
