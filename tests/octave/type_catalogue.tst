## Every type of the module's catalogue, as the banner lists them, goes to
## the server and back, scalar and array, through paramPut/paramExec/
## resultGet and through copyIn/copyOut.  A listed type without a sample
## below fails the test, so that a type added to the catalogue cannot go
## untested.  Every base type the server has reads through query, in the
## class of its catalogue row or as text.

%!shared c, samples
%! c = vorlex ('connect', '');
%! vorlex ('exec', c, 'set timezone = ''UTC''');
%! ## type, server type of its column, a scalar, an array: each comes back
%! ## as it was sent.  (No space before a call's parenthesis in the table.)
%! samples = {
%!   'bool',        'bool',        true,               logical([1 0; 0 1])
%!   'bytea',       'bytea',       uint8([0 1 255]),   {uint8([1 2]), uint8([])}
%!   'name',        'name',        'a_name',           {'n1', 'n2'}
%!   'text',        'text',        'héllo',            {'a', ''; 'b c', 'd'}
%!   'json',        'json',        '{"a": [1, 2]}',    {'1', '"x"'}
%!   'xml',         'xml',         '<a>b</a>',         {'<x/>'}
%!   'bpchar',      'bpchar',      'abc',              {'x', 'yz'}
%!   'varchar',     'varchar',     'v',                {'v1'; 'v2'}
%!   'numeric',     'numeric',     '-12.50',           {'0.5', 'NaN', '1000'}
%!   'int2',        'int2',        int16(-32768),      int16([1 2 3])
%!   'int4',        'int4',        int32(7),           int32([1 2; 3 4])
%!   'int8',        'int8',        intmax('int64'),    int64([-1; 2])
%!   'float4',      'float4',      single(1.5),        single([0.25 -2])
%!   'float8',      'float8',      -0.125,             [1 2 3; 4 5 6]
%!   'date',        'date',        730487,             [730486 730487]
%!   'time',        'time',        0.25,               [0.5 0.75]
%!   'timetz',      'timetz',      0.5,                [0.25; 0.5]
%!   'timestamp',   'timestamp',   730486.5,           [730486.25 730487]
%!   'timestamptz', 'timestamptz', 730486.75,          [730486 730486.5]
%!   'serbytea',    'bytea',       struct('a', {1}),   {1, 'two'; int8(3), {4}}
%!   'serbytea_wn', 'bytea',       {1, 'x'},           {[1 2], 'y'}
%! };

%!function assert_same (got, expected, what)
%!  if (! strcmp (class (got), class (expected)) || ! isequal (got, expected))
%!    error ('%s: got %s %s, sent %s %s', what, class (got), mat2str (size (got)), ...
%!           class (expected), mat2str (size (expected)));
%!  end
%!endfunction

%!function listed = listed_types ()
%!  ## The types the banner lists, in its order.
%!  line = regexp (evalc ('vorlex ()'), '(?m)^types:([^\n]*)$', 'tokens', 'once');
%!  assert (! isempty (line), 'the banner lists no types');
%!  listed = strsplit (strtrim (line{1}), ' ');
%!endfunction

%!function walked = walk (samples)
%!  ## The sample rows of the listed types, in the banner's order; a listed
%!  ## type without a sample is an error.
%!  listed = listed_types ();
%!  [found, at] = ismember (listed, samples(:,1));
%!  if (! all (found))
%!    error ('types without a sample: %s', strjoin (listed(! found), ', '));
%!  end
%!  walked = samples(at,:);
%!endfunction

%!test
%! ## Every sample names a listed type, every listed type has a sample.
%! stale = setdiff (samples(:,1), listed_types ());
%! assert (isempty (stale), ['samples of types not listed: ' strjoin(stale, ', ')]);
%! assert (rows (walk (samples)), numel (listed_types ()));

%!test
%! ## Scalars and arrays through a parameter set and resultGet.
%! for row = walk (samples)'
%!   [type, ~, scalar, array] = row{:};
%!   got = put_and_get (c, ['%' type], scalar, 'columnVectors', false);
%!   assert_same (got.value{1}, scalar, ['%' type]);
%!   got = put_and_get (c, ['%' type '[]'], array, 'columnVectors', false);
%!   assert_same (got.value{1}, array, ['%' type '[]']);
%! end

%!test
%! ## Scalars and arrays through copyIn and copyOut.
%! for row = walk (samples)'
%!   [type, column, scalar, array] = row{:};
%!   vorlex ('exec', c, sprintf ('create temp table tc (v %s, a %s[])', column, column));
%!   unwind_protect
%!     spec = sprintf ('%%%s %%%s[]', type, type);
%!     n = vorlex ('copyIn', c, 'tc', spec, struct ('v', {{scalar}}, 'a', {{array}}));
%!     assert (n, 1);
%!     [v, a] = vorlex ('copyOut', c, 'select v, a from tc', spec, 'columnVectors', false);
%!     assert_same (v.value{1}, scalar, ['copy %' type]);
%!     assert_same (a.value{1}, array, ['copy %' type '[]']);
%!   unwind_protect_cleanup
%!     vorlex ('exec', c, 'drop table tc');
%!   end_unwind_protect
%! end

%!test
%! ## Every base type of the server, a value of it cast from the first
%! ## literal it takes (NULL where it takes none), read by query with
%! ## 'keepClass': a type with a row reads in the row's class, every other
%! ## type as text, and none raises.
%! vorlex ('exec', c, [ ...
%!   'create function pg_temp.literal_of(t regtype) returns text language plpgsql as $$ ' ...
%!   'declare s text; begin foreach s in array array[''1'', ''t'', ''a'', ' ...
%!   '''2000-01-01'', ''00:00'', ''(0,0)'', ''((0,0),(1,1))'', ''<(0,0),1>'', ''{1,1,1}'', ' ...
%!   '''08:00:2b:01:02:03'', ''00000000-0000-0000-0000-000000000000'', ''1:1:'', ''0/0''] ' ...
%!   'loop begin execute format(''select %L::%s'', s, t); return s; ' ...
%!   'exception when others then end; end loop; return null; end $$']);
%! types = vorlex ('query', c, ['select typname, coalesce(quote_literal(' ...
%!   'pg_temp.literal_of(oid)), ''null'') || ''::'' || oid::regtype as value ' ...
%!   'from pg_type where typtype = ''b'' and typcategory <> ''A'' and typisdefined']);
%! assert (numel (types.typname) > 50);
%! for k = 1:numel (types.typname)
%!   [row, at] = ismember (types.typname{k}, samples(:,2));
%!   want = 'char';
%!   if (row)
%!     want = class (samples{at,3});
%!   end
%!   v = vorlex ('query', c, ['select ' types.value{k} ' as v'], 'keepClass', true).v;
%!   if (any (strcmp (want, {'char', 'uint8'})))  # cells of rows, [] at NULL
%!     ok = iscell (v) && (isa (v{1}, want) || isequal (v{1}, []));
%!   else
%!     ok = isa (v, want);
%!   end
%!   assert (ok, '%s reads as %s, not %s', types.value{k}, class (v), want);
%! end
