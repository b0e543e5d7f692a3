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
%!   'name',        'name',                        [{'name'}, text_like]
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
%!         assert (vorlex ('copyIn', c, ['ct_copy (' column ')'], ['%' s{1}], values), 2, pair);
%!         vorlex ('batchExec', c, sprintf ('insert into ct_batch (%s) values ($1)', column), ...
%!                 ['%' s{1}], values);
%!         stored = sprintf ('select string_agg(%s::text, ''|'' order by k) from %%s', column);
%!         assert (value_of (c, sprintf (stored, 'ct_copy')), value_of (c, sprintf (stored, 'ct_batch')), pair);
%!         vorlex ('exec', c, 'delete from ct_copy');
%!         vorlex ('exec', c, 'delete from ct_batch');
%!         accepted += 1;
%!       else
%!         err = copy_error ('vorlex:copyIn:typeMismatch', c, ['ct_copy (' column ')'], ['%' s{1}], values);
%!         said = sprintf ('.%s) sends %s, but column %s of ct_copy is %s:', s{1}, sends(s{1}), ...
%!                         column, sends(types{j}));
%!         assert (! isempty (strfind (err.message, said)), [pair ': ' err.message]);
%!         assert (value_of (c, 'select last_value from ct_seq'), drawn, pair);
%!       end
%!     end
%!   end
%!   assert (accepted, 30);
%!   assert_idle (c);
%! unwind_protect_cleanup
%!   vorlex ('exec', c, 'drop table ct_copy, ct_batch');
%!   vorlex ('exec', c, 'drop sequence ct_seq');
%! end_unwind_protect
