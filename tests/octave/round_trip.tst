## What query reads goes back through insert as it is: for every column
## type, a table read, loaded into an empty copy of itself and read again
## gives the same struct, NULLs and NaN included; and what a column reads
## as does not depend on whether it holds a NULL.

%!shared c
%! c = vorlex ('connect', '');
%! vorlex ('exec', c, 'set timezone = ''UTC''');
%! vorlex ('exec', c, 'create type pg_temp.rt_mood as enum (''sad'', ''ok'')');

%!function text = sql_literal (value)
%!  ## A value of the table below as SQL: [] is NULL, a text is quoted.
%!  if (isnumeric (value))
%!    text = 'NULL';
%!  else
%!    text = ['''' strrep(value, '''', '''''') ''''];
%!  end
%!endfunction

%!function k = classes_of (value)
%!  ## The class of a value and of its first element, down through cells.
%!  k = {class(value)};
%!  if (iscell (value) && ! isempty (value))
%!    k = [k, classes_of(value{1})];
%!  end
%!endfunction

%!test
%! ## Per type: the values of the run without NULL, and the rows the run
%! ## with NULL adds ([] is NULL): NULLs, NaN, NULL elements.  Each run
%! ## reads the table, inserts what it read into an empty copy and reads that.
%! u = 'a0eebc99-9c0b-4ef8-bb6d-6bb9bd380a11';
%! cases = {
%!   'bool',          {'true', 'false'},                    {[]}
%!   'int2',          {'1', '-300'},                        {[]}
%!   'int4',          {'7', '-70000'},                      {[]}
%!   'int8',          {'1099511627776', '-5'},              {[]}
%!   'float4',        {'1.5', '-0.25'},                     {[], 'NaN'}
%!   'float8',        {'0.1', '-1e300'},                    {[], 'NaN'}
%!   'numeric',       {'1.50', '-3'},                       {[], 'NaN'}
%!   'text',          {'a b', ''},                          {[]}
%!   'varchar(4)',    {'ab', 'abcd'},                       {[]}
%!   'char(3)',       {'ab', 'abc'},                        {[]}
%!   'name',          {'nm', 'x'},                          {[]}
%!   'json',          {'{"a": [1, 2]}', '1'},               {[]}
%!   'jsonb',         {'{"b": 1}', '[]'},                   {[]}
%!   'xml',           {'<a>x</a>', 'y'},                    {[]}
%!   'bytea',         {'\x01ff', '\x'},                     {[]}
%!   'date',          {'2020-01-02', '1999-12-31'},         {[]}
%!   'time',          {'12:00', '23:59:59.5'},              {[]}
%!   'timetz',        {'12:00+00', '01:30+00'},             {[]}
%!   'timestamp',     {'2020-01-02 03:04:05', 'infinity'},  {[]}
%!   'timestamptz',   {'2020-01-02 03:04:05.25+00', '-infinity'}, {[]}
%!   'uuid',          {u, upper(u)},                        {[]}
%!   'interval',      {'1 day 02:00', '-3 months'},         {[]}
%!   'inet',          {'10.1.2.3/8', '::1'},                {[]}
%!   'cidr',          {'10.1.0.0/16', '::/0'},              {[]}
%!   'macaddr',       {'08:00:2b:01:02:03', '0800.2b01.0204'}, {[]}
%!   'rt_mood',       {'sad', 'ok'},                        {[]}
%!   'int4[]',        {'{1,2,3}', '{{4,5},{6,7}}'},         {[], '{1,NULL}'}
%!   'float8[]',      {'{0.5,1.5}', '{-1}'},                {[], '{NaN,NULL,2}'}
%!   'text[]',        {'{a,"b c"}', '{}'},                  {[], '{x,NULL,z}'}
%!   'bool[]',        {'{t,f}', '{f}'},                     {[], '{t,NULL}'}
%!   'timestamptz[]', {'{"2020-01-02 00:00:00+00"}', '{infinity}'}, {[], '{"2020-01-02 00:00:00+00",NULL}'}
%!   'numeric[]',     {'{1.5,2}', '{-3}'},                  {[], '{1.5,NULL,NaN}'}
%!   'uuid[]',        {['{' u '}'], '{}'},                  {[], ['{' u ',NULL}']}
%! };
%! failed = {};
%! for k = 1:rows (cases)
%!   [type, values, nulls] = cases{k, :};
%!   classes = {};
%!   for run = {values, [values, nulls]}
%!     vorlex ('exec', c, sprintf ('create temp table rt (id int4, c %s)', type));
%!     vorlex ('exec', c, 'create temp table rt2 (like rt)');
%!     unwind_protect
%!       tuples = cellfun (@(v, id) sprintf ('(%d, %s)', id, sql_literal (v)), run{1}, ...
%!                       num2cell (1:numel (run{1})), 'uniformoutput', false);
%!       vorlex ('exec', c, ['insert into rt values ' strjoin(tuples, ', ')]);
%!       d1 = vorlex ('query', c, 'select * from rt order by id');
%!       try
%!         vorlex ('insert', c, 'rt2', d1);
%!         d2 = vorlex ('query', c, 'select * from rt2 order by id');
%!         if (! isequaln (d1, d2))
%!           failed{end+1} = sprintf ('%s, %d rows: read back differs', type, numel (run{1}));
%!         end
%!       catch err
%!         failed{end+1} = sprintf ('%s, %d rows: %s', type, numel (run{1}), err.message);
%!       end_try_catch
%!       classes{end+1} = strjoin ([classes_of(d1.id), classes_of(d1.c)], ' ');
%!     unwind_protect_cleanup
%!       vorlex ('exec', c, 'drop table rt, rt2');
%!     end_unwind_protect
%!   end
%!   if (! strcmp (classes{1}, classes{2}))
%!     failed{end+1} = sprintf ('%s: reads as %s, with a NULL as %s', type, classes{:});
%!   end
%! end
%! assert (isempty (failed), strjoin (failed, '\n'));
