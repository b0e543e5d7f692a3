## copyIn checks the target's column types before the COPY starts: a
## binary COPY reads whatever bytes come as the column's type, so a
## specifier goes only into a column that stores its values as batchExec
## does.  Every specifier type against every column type; domains and
## arrays; targets resolved by the server (schemas, search_path, quoted
## and folded names, column lists) and the targets it refuses.

%!shared c
%! c = vorlex ('connect', '');
%! vorlex ('exec', c, 'set timezone = ''UTC''');

%!function v = value_of (c, sql)
%!  ## The first value of SQL's result, as text; SQL must succeed.
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

%!function err = copy_error (id, varargin)
%!  try
%!    vorlex ('copyIn', varargin{:});
%!  catch err
%!    if (! strcmp (err.identifier, id))
%!      error ('expected %s, got %s: %s', id, err.identifier, err.message);
%!    end
%!    return;
%!  end_try_catch
%!  error ('no error, expected %s', id);
%!endfunction

%!function assert_idle (c)
%!  ## No COPY or failed transaction left: the next statement runs.
%!  assert (double (value_of (c, 'select 41 + 1')), 42);
%!endfunction

%!test
%! ## Each of the 21 specifier types into a column of each of the 19 types:
%! ## accepted and stored as batchExec stores the same values (compared by
%! ## their text on the server), or refused before the COPY starts, which
%! ## the column's sequence default shows (a row sent would draw from it).
%! types = {'bool', 'bytea', 'name', 'text', 'json', 'xml', 'bpchar', 'varchar', 'numeric', ...
%!          'int2', 'int4', 'int8', 'float4', 'float8', 'date', 'time', 'timetz', ...
%!          'timestamp', 'timestamptz'};
%! ## Column type, the server's name of it, and the specifiers it takes.
%! text_like = {'text', 'varchar', 'name'};
%! takes = {
%!   'bool',        'boolean',                     {'bool'}
%!   'bytea',       'bytea',                       {'bytea', 'serbytea', 'serbytea_wn'}
%!   'name',        'name',                        text_like
%!   'text',        'text',                        text_like
%!   'json',        'json',                        {'json'}
%!   'xml',         'xml',                         {'xml'}
%!   'bpchar',      'bpchar',                      [{'bpchar'}, text_like]
%!   'varchar',     'character varying',           text_like
%!   'numeric',     'numeric',                     {'numeric'}
%!   'int2',        'smallint',                    {'int2'}
%!   'int4',        'integer',                     {'int4'}
%!   'int8',        'bigint',                      {'int8'}
%!   'float4',      'real',                        {'float4'}
%!   'float8',      'double precision',            {'float8'}
%!   'date',        'date',                        {'date'}
%!   'time',        'time without time zone',      {'time'}
%!   'timetz',      'time with time zone',         {'timetz'}
%!   'timestamp',   'timestamp without time zone', {'timestamp'}
%!   'timestamptz', 'timestamp with time zone',    {'timestamptz'}
%! };
%! assert (takes(:,1)', types);
%! sends = containers.Map (takes(:,1), takes(:,2));
%! sends('serbytea') = 'bytea';
%! sends('serbytea_wn') = 'bytea';
%! v.bool        = logical ([1; 0]);
%! v.bytea       = {uint8([1 2 255]); uint8([])};
%! v.name        = {'nm'; 'n m  '};
%! v.text        = {'tx'; 't x  '};
%! v.json        = {'{"a": [1, 2]}'; '"s"'};
%! v.xml         = {'<a>x</a>'; 'plain'};
%! v.bpchar      = {'bp'; 'b p  '};
%! v.varchar     = {'vc'; 'v c  '};
%! v.numeric     = {'1.50'; '-0.001'};
%! v.int2        = int16 ([-7; 300]);
%! v.int4        = int32 ([8; -70000]);
%! v.int8        = int64 ([9; -2^40]);
%! v.float4      = single ([1.5; -0.1]);
%! v.float8      = [2.25; 1e300];
%! v.date        = 730486 + [0; 1000];
%! v.time        = [0.25; 0.9];
%! v.timetz      = [0.5; 0.1];
%! v.timestamp   = 730486.5 + [0; 0.125];
%! v.timestamptz = 730486.75 + [0; 100];
%! v.serbytea    = {magic(3); 'x'};
%! v.serbytea_wn = {[1 2]; {}};
%! specifiers = fieldnames (v)';
%! assert (numel (specifiers), 21);
%! defs = strjoin (strcat ({'c_'}, types, {' '}, types), ', ');
%! vorlex ('exec', c, 'create temp sequence ct_seq');
%! vorlex ('exec', c, sprintf ('create temp table ct_copy (k int8 default nextval(''ct_seq''), %s)', defs));
%! vorlex ('exec', c, sprintf ('create temp table ct_batch (k serial, %s)', defs));
%! unwind_protect
%!   accepted = 0;
%!   for s = specifiers
%!     values = struct ('v', {v.(s{1})});
%!     for j = 1:numel (types)
%!       column = ['c_' types{j}];
%!       pair = sprintf ('%%%s into %s', s{1}, types{j});
%!       drawn = value_of (c, 'select last_value from ct_seq');
%!       if (any (strcmp (s{1}, takes{j,3})))
%!         assert (vorlex ('copyIn', c, ['ct_copy (' column ')'], ['%' s{1}], values) == 2, pair);
%!         vorlex ('batchExec', c, sprintf ('insert into ct_batch (%s) values ($1)', column), ...
%!                 ['%' s{1}], values);
%!         stored = sprintf ('select string_agg(%s::text, ''|'' order by k) from %%s', column);
%!         copied = value_of (c, sprintf (stored, 'ct_copy'));
%!         batched = value_of (c, sprintf (stored, 'ct_batch'));
%!         assert (strcmp (copied, batched), '%s: copyIn stored %s, batchExec %s', pair, copied, batched);
%!         vorlex ('exec', c, 'delete from ct_copy');
%!         vorlex ('exec', c, 'delete from ct_batch');
%!         accepted += 1;
%!       else
%!         err = copy_error ('vorlex:copyIn:typeMismatch', c, ['ct_copy (' column ')'], ['%' s{1}], values);
%!         said = sprintf ('.%s) sends %s, but column %s of ct_copy is %s:', s{1}, sends(s{1}), ...
%!                         column, sends(types{j}));
%!         assert (! isempty (strfind (err.message, said)), [pair ': ' err.message]);
%!         assert (value_of (c, 'select last_value from ct_seq') == drawn, pair);
%!       end
%!     end
%!   end
%!   assert (accepted, 30);
%!   assert_idle (c);
%! unwind_protect_cleanup
%!   vorlex ('exec', c, 'drop table ct_copy, ct_batch');
%!   vorlex ('exec', c, 'drop sequence ct_seq');
%! end_unwind_protect

%!test
%! ## A domain is read as the type under it (and still checks its values
%! ## on the server); an array goes only into its own array type.
%! vorlex ('exec', c, 'create domain pg_temp.ct_pos as int4 check (value > 0)');
%! vorlex ('exec', c, 'create domain pg_temp.ct_pos2 as ct_pos');
%! vorlex ('exec', c, 'create domain pg_temp.ct_ints as int4[]');
%! vorlex ('exec', c, 'create domain pg_temp.ct_short as varchar(5)');
%! vorlex ('exec', c, ['create temp table ct_dom (k serial, p ct_pos, pp ct_pos2, ' ...
%!                     'a int4[], b int8[], da ct_ints, s ct_short, ta text[])']);
%! unwind_protect
%!   one = @(x) struct ('v', {x});
%!   two = @(x, y) struct ('v', {x}, 'w', {y});
%!   ## Target, format, values, and what is stored or the error's
%!   ## identifier and a part of its message.
%!   cases = {
%!     'ct_dom (p, pp)', '%int4 %int4',   two(int32(5), int32(6)), 'p, pp', '5|6'
%!     'ct_dom (da, a)', '%int4[] %int4[]', two({[1 2]}, {[3 4]}), 'da, a', '{{1,2}}|{{3,4}}'
%!     'ct_dom (s)',     '%text',         one({'abc'}),            's',     'abc'
%!     'ct_dom (p)',     '%int4',         one(int32(-1)),          'rowFailed',    'ct_pos'
%!     'ct_dom (s)',     '%text',         one({'abcdef'}),         'rowFailed',    'character varying(5)'
%!     'ct_dom (pp)',    '%int8',         one(int64(5)),           'typeMismatch', 'sends bigint, but column pp of ct_dom is ct_pos2:'
%!     'ct_dom (b)',     '%int4[]',       one({[1 2]}),            'typeMismatch', 'sends integer[], but column b of ct_dom is bigint[]:'
%!     'ct_dom (a)',     '%int8[]',       one({int64([1 2])}),     'typeMismatch', 'sends bigint[], but column a of ct_dom is integer[]:'
%!     'ct_dom (a)',     '%int4',         one(int32(1)),           'typeMismatch', 'sends integer, but column a of ct_dom is integer[]:'
%!     'ct_dom (p)',     '%int4[]',       one({[1 2]}),            'typeMismatch', 'sends integer[], but column p of ct_dom is ct_pos:'
%!     'ct_dom (ta)',    '%varchar[]',    one({{'x'}}),            'typeMismatch', 'sends character varying[], but column ta of ct_dom is text[]:'
%!     'ct_dom (da)',    '%int8[]',       one({int64([1 2])}),     'typeMismatch', 'sends bigint[], but column da of ct_dom is ct_ints:'
%!   };
%!   for j = 1:rows (cases)
%!     [target, format, values, expected, part] = cases{j,:};
%!     if (any (strcmp (expected, {'rowFailed', 'typeMismatch'})))
%!       err = copy_error (['vorlex:copyIn:' expected], c, target, format, values);
%!       assert (! isempty (strfind (err.message, part)), err.message);
%!       assert (value_of (c, 'select count(*) from ct_dom') == 0, target);
%!     else
%!       assert (vorlex ('copyIn', c, target, format, values), 1);
%!       stored = strrep (expected, ', ', '::text || ''|'' || ');
%!       got = value_of (c, ['select ' stored '::text from ct_dom']);
%!       assert (strcmp (got, part), '%s: stored %s, not %s', target, got, part);
%!       vorlex ('exec', c, 'delete from ct_dom');
%!     end
%!   end
%!   assert_idle (c);
%! unwind_protect_cleanup
%!   vorlex ('exec', c, 'drop table ct_dom');
%!   vorlex ('exec', c, 'drop domain pg_temp.ct_pos2, pg_temp.ct_pos, pg_temp.ct_ints, pg_temp.ct_short');
%! end_unwind_protect

%!test
%! ## Targets resolved by the server: schema-qualified, through search_path,
%! ## quoted and case-folded names of tables and columns, names holding
%! ## the characters that split a target; a column list in any order.
%! ## Without a list, a COPY fills every column but generated and dropped
%! ## ones.  A view with an INSTEAD OF INSERT trigger takes rows.
%! vorlex ('exec', c, 'create schema ct_one');
%! vorlex ('exec', c, 'create schema ct_two');
%! unwind_protect
%!   vorlex ('exec', c, 'create table ct_one.tt (a int4, "B" text)');
%!   vorlex ('exec', c, 'create table ct_two.tt (a int8, "B" text)');
%!   vorlex ('exec', c, 'create table ct_one."Odd (na,me)" ("x,y" int4, "q""r)" text, "Up" int8, up int2)');
%!   vorlex ('exec', c, ['create table ct_one.gen (a int4, g int8 generated always as (a * 2) stored, ' ...
%!                       'd int8, e text)']);
%!   vorlex ('exec', c, 'alter table ct_one.gen drop column d');
%!   vorlex ('exec', c, 'create view ct_one.vt as select a, "B" from ct_one.tt');
%!   vorlex ('exec', c, ['create function ct_one.vt_insert() returns trigger language plpgsql as ' ...
%!                       '$$ begin insert into ct_one.tt values (new.a + 1000, new."B"); return new; end $$']);
%!   vorlex ('exec', c, ['create trigger vt_insert instead of insert on ct_one.vt ' ...
%!                       'for each row execute function ct_one.vt_insert()']);
%!   i4 = struct ('a', int32 ([1; 2]), 'b', {{'x'; 'y'}});
%!   i8 = struct ('a', int64 ([1; 2]), 'b', {{'x'; 'y'}});
%!   ## search_path, target, format, values, then the table the rows go to
%!   ## and what it holds after, or the error's identifier.
%!   cases = {
%!     'public', 'ct_one.tt',                '%int4 %text', i4, 'ct_one.tt', '(1,x),(2,y)'
%!     'public', 'ct_two.tt',                '%int4 %text', i4, 'typeMismatch', ''
%!     'public', ' "ct_two" . "tt" ',        '%int8 %text', i8, 'ct_two.tt', '(1,x),(2,y)'
%!     'public', 'CT_ONE.TT (A, "B")',       '%int4 %text', i4, 'ct_one.tt', '(1,x),(2,y)'
%!     'public', 'ct_one.tt ("B" , a)',      '%text %int4', struct('b', {{'x'; 'y'}}, 'a', int32([1; 2])), 'ct_one.tt', '(1,x),(2,y)'
%!     'public', 'tt',                       '%int4 %text', i4, 'copyFailed', ''
%!     'ct_two, ct_one', 'tt',               '%int8 %text', i8, 'ct_two.tt', '(1,x),(2,y)'
%!     'ct_two, ct_one', 'tt',               '%int4 %text', i4, 'typeMismatch', ''
%!     'ct_one, ct_two', 'tt (a, "B")',      '%int4 %text', i4, 'ct_one.tt', '(1,x),(2,y)'
%!     'ct_one, ct_two', 'tt',               '%int8 %text', i8, 'typeMismatch', ''
%!     'public', 'ct_one.vt',                '%int4 %text', i4, 'ct_one.tt', '(1001,x),(1002,y)'
%!     'public', 'ct_one.vt',                '%int8 %text', i8, 'typeMismatch', ''
%!     'public', 'ct_one.gen',               '%int4 %text', i4, 'ct_one.gen', '(1,2,x),(2,4,y)'
%!     'public', 'ct_one.gen',               '%int4 %int8 %text', struct('a', int32([1; 2]), 'g', int64([1; 2]), 'b', {{'x'; 'y'}}), 'columnCount', ''
%!     'public', 'ct_one."Odd (na,me)" ("x,y", "q""r)", "Up", UP)', '%int4 %text %int8 %int2', ...
%!               struct('a', int32([1; 2]), 'b', {{'x'; 'y'}}, 'c', int64([3; 4]), 'd', int16([5; 6])), ...
%!               'ct_one."Odd (na,me)"', '(1,x,3,5),(2,y,4,6)'
%!     'public', 'ct_one."Odd (na,me)" (up, "Up")', '%int2 %int8', struct('d', int16([5; 6]), 'c', int64([3; 4])), ...
%!               'ct_one."Odd (na,me)"', '(,,3,5),(,,4,6)'
%!     'public', 'ct_one."Odd (na,me)" ("Up", up)', '%int2 %int8', struct('d', int16([5; 6]), 'c', int64([3; 4])), ...
%!               'typeMismatch', ''
%!   };
%!   for j = 1:rows (cases)
%!     [path, target, format, values, table, stored] = cases{j,:};
%!     vorlex ('exec', c, ['set search_path = ' path]);
%!     if (any (strcmp (table, {'copyFailed', 'typeMismatch', 'columnCount'})))
%!       copy_error (['vorlex:copyIn:' table], c, target, format, values);
%!     else
%!       assert (vorlex ('copyIn', c, target, format, values) == 2, target);
%!       got = value_of (c, ['select string_agg(x::text, '','' order by x) from ' table ' x']);
%!       assert (strcmp (got, stored), '%s: %s holds %s, not %s', target, table, got, stored);
%!     end
%!     vorlex ('exec', c, 'reset search_path');
%!     for t = {'ct_one.tt', 'ct_two.tt', 'ct_one."Odd (na,me)"', 'ct_one.gen'}
%!       vorlex ('exec', c, ['delete from ' t{1}]);
%!     end
%!   end
%!   assert_idle (c);
%! unwind_protect_cleanup
%!   vorlex ('exec', c, 'reset search_path');
%!   vorlex ('exec', c, 'set client_min_messages = warning');
%!   vorlex ('exec', c, 'drop schema ct_one, ct_two cascade');
%!   vorlex ('exec', c, 'reset client_min_messages');
%! end_unwind_protect

%!test
%! ## Targets refused before the COPY starts: column lists with a name
%! ## twice, an empty name, a qualified or malformed name, not closed or
%! ## followed by more text; relations a COPY cannot fill; a name that
%! ## folds to another.  Nothing is kept and the connection goes on.
%! vorlex ('exec', c, 'create temp table ct_ref (a int4, b text)');
%! vorlex ('exec', c, 'create temp sequence ct_ref_seq');
%! vorlex ('exec', c, 'create temp view ct_ref_view as select * from ct_ref');
%! vorlex ('exec', c, 'create type pg_temp.ct_ref_type as (a int4, b text)');
%! vorlex ('exec', c, 'create materialized view ct_ref_mat as select 1::int4 as a, ''x''::text as b');
%! unwind_protect
%!   s = struct ('a', int32 ([1; 2]), 'b', {{'x'; 'y'}});
%!   cases = {
%!     'ct_ref (a, A)',          'names a twice'
%!     'ct_ref (b, "a", a)',     'names a twice'
%!     'ct_ref (a, , b)',        'empty name'
%!     'ct_ref ()',              'empty name'
%!     'ct_ref (a, b',           'not closed'
%!     'ct_ref (a, "b)',         'not closed'
%!     'ct_ref (a, b) x',        'text after'
%!     'ct_ref (a, pg_temp.b)',  'names pg_temp.b, which ct_ref does not have'
%!     'ct_ref (a, b c)',        'not a valid identifier'
%!     'ct_ref_seq',             'is a sequence'
%!     'ct_ref_view',            'is a view without an INSTEAD OF INSERT trigger'
%!     'ct_ref_type',            'is a composite type'
%!     'ct_ref_mat',             'is a materialized view'
%!     '"CT_REF"',               '"CT_REF" does not exist'
%!   };
%!   for j = 1:rows (cases)
%!     err = copy_error ('vorlex:copyIn:copyFailed', c, cases{j,1}, '%int4 %text', s);
%!     assert (! isempty (strfind (err.message, cases{j,2})), err.message);
%!     assert (value_of (c, 'select count(*) from ct_ref') == 0, cases{j,1});
%!   end
%!   ## Inside a transaction a refusal on the client leaves it usable; the
%!   ## server's refusal of a name aborts it, as a refused COPY does.
%!   vorlex ('exec', c, 'begin');
%!   vorlex ('exec', c, 'insert into ct_ref values (0, ''kept'')');
%!   copy_error ('vorlex:copyIn:typeMismatch', c, 'ct_ref', '%int8 %text', ...
%!               struct ('a', int64 ([1; 2]), 'b', {{'x'; 'y'}}));
%!   copy_error ('vorlex:copyIn:columnCount', c, 'ct_ref', '%int4', struct ('a', int32 ([1; 2])));
%!   copy_error ('vorlex:copyIn:copyFailed', c, 'ct_ref (a, a)', '%int4 %int4', ...
%!               struct ('a', int32 ([1; 2]), 'b', int32 ([1; 2])));
%!   assert (vorlex ('copyIn', c, 'ct_ref', '%int4 %text', s), 2);
%!   vorlex ('exec', c, 'commit');
%!   assert (value_of (c, 'select string_agg(b, '','' order by a) from ct_ref'), 'kept,x,y');
%!   vorlex ('exec', c, 'begin');
%!   copy_error ('vorlex:copyIn:copyFailed', c, 'ct_ref_missing', '%int4 %text', s);
%!   r = vorlex ('execText', c, 'select 1');
%!   assert (vorlex ('resultStatus', r), 7);
%!   vorlex ('clear', r);
%!   vorlex ('exec', c, 'rollback');
%!   assert_idle (c);
%! unwind_protect_cleanup
%!   vorlex ('execText', c, 'rollback');
%!   vorlex ('exec', c, 'drop materialized view ct_ref_mat');
%!   vorlex ('exec', c, 'drop view ct_ref_view');
%!   vorlex ('exec', c, 'drop table ct_ref');
%!   vorlex ('exec', c, 'drop sequence ct_ref_seq');
%!   vorlex ('exec', c, 'drop type ct_ref_type');
%! end_unwind_protect

%!test
%! ## COPY FROM needs only INSERT on the table: a role without SELECT on it
%! ## loads it, the target's columns read from the catalogs.  (Needs a
%! ## superuser to make the role; the throwaway server's user is one.)
%! if (! strcmp (value_of (c, 'select rolsuper::text from pg_roles where rolname = current_user'), 'true'))
%!   return;
%! end
%! role = sprintf ('ct_inserter_%d', value_of (c, 'select pg_backend_pid()'));
%! vorlex ('exec', c, ['create role ' role]);
%! unwind_protect
%!   vorlex ('exec', c, 'create temp table ct_priv (a int4, b text)');
%!   vorlex ('exec', c, sprintf ('grant insert on ct_priv to %s', role));
%!   vorlex ('exec', c, ['set role ' role]);
%!   r = vorlex ('execText', c, 'select count(*) from ct_priv');
%!   assert (vorlex ('resultStatus', r), 7);
%!   vorlex ('clear', r);
%!   assert (vorlex ('copyIn', c, 'ct_priv', '%int4 %text', struct ('a', int32 ([1; 2]), 'b', {{'x'; 'y'}})), 2);
%!   copy_error ('vorlex:copyIn:typeMismatch', c, 'ct_priv (b, a)', '%int4 %text', ...
%!               struct ('a', int32 ([1; 2]), 'b', {{'x'; 'y'}}));
%!   vorlex ('exec', c, 'reset role');
%!   assert (value_of (c, 'select string_agg(a || b, '','' order by a) from ct_priv'), '1x,2y');
%! unwind_protect_cleanup
%!   vorlex ('exec', c, 'reset role');
%!   vorlex ('exec', c, 'drop table if exists ct_priv');
%!   vorlex ('exec', c, ['drop role ' role]);
%! end_unwind_protect

%!test
%! vorlex ('finish', c);
