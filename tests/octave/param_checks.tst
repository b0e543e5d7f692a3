## Parameter sets: the commands' checks, and what a failed paramPut leaves.

%!shared c
%! c = vorlex ('connect', '');

%!function check_error (id, varargin)
%!  try
%!    vorlex (varargin{:});
%!  catch err
%!    assert (err.identifier, id);
%!    return;
%!  end_try_catch
%!  error ('no error, expected %s', id);
%!endfunction

%!function check_error_1 (id, varargin)
%!  try
%!    out = vorlex (varargin{:});
%!  catch err
%!    assert (err.identifier, id);
%!    return;
%!  end_try_catch
%!  error ('no error, expected %s', id);
%!endfunction

%!test
%! ## Counts: two specifiers take two values, no more and no less; values
%! ## accumulate until paramReset; paramExec sends them as often as asked.
%! p = vorlex ('paramCreate', c);
%! vorlex ('paramPut', p, '%int4 %text', int32 (5), 'abc');
%! assert (vorlex ('paramCount', p), int32 (2));
%! check_error ('vorlex:paramPut:tooFewSpecifiers', 'paramPut', p, '%int4 %text', int32 (5), 'abc', 1);
%! check_error ('vorlex:paramPut:tooManySpecifiers', 'paramPut', p, '%int4 %text', int32 (5));
%! check_error ('vorlex:paramPut:badFormat', 'paramPut', p, '%int4 %nosuchtype', 1, 2);
%! assert (vorlex ('paramCount', p), int32 (2));
%! vorlex ('exec', c, 'create temp table twice (a int4, b text)');
%! vorlex ('paramExec', c, p, 'insert into twice values ($1, $2)');
%! vorlex ('paramExec', c, p, 'insert into twice values ($1, $2)');
%! r = vorlex ('exec', c, 'select count(*)::int4 from twice where a = 5 and b = ''abc''');
%! s = vorlex ('resultGet', r, '%int4', 0);
%! assert (s.value, int32 (2));
%! vorlex ('clear', r);
%! vorlex ('paramReset', p);
%! assert (vorlex ('paramCount', p), int32 (0));
%! ## A class error in the third value leaves the first two.
%! check_error ('vorlex:paramPut:wrongClass', 'paramPut', p, '%int4 %int4 %float8', 1, 2, int32 (3));
%! assert (vorlex ('paramCount', p), int32 (2));
%! vorlex ('paramClear', p);
%! check_error_1 ('vorlex:paramCount:noParams', 'paramCount', p);
%! check_error ('vorlex:paramClear:noParams', 'paramClear', p);

%!test
%! ## Class and shape checks.
%! p = vorlex ('paramCreate', c);
%! check_error ('vorlex:paramPut:wrongClass', 'paramPut', p, '%float8', int32 (1));
%! check_error ('vorlex:paramPut:wrongClass', 'paramPut', p, '%text', 1);
%! check_error ('vorlex:paramPut:wrongClass', 'paramPut', p, '%bytea', 'x');
%! check_error ('vorlex:paramPut:wrongClass', 'paramPut', p, '%int4[]', int8 ([1 2]));
%! check_error ('vorlex:paramPut:notScalar', 'paramPut', p, '%int4', [1 2]);
%! check_error ('vorlex:paramPut:notScalar', 'paramPut', p, '%int4', sparse (1));
%! check_error ('vorlex:paramPut:notRow', 'paramPut', p, '%text', ['ab'; 'cd']);
%! check_error ('vorlex:paramPut:notRow', 'paramPut', p, '%bytea', uint8 ([1; 2]));
%! check_error ('vorlex:paramPut:textArrayNotCell', 'paramPut', p, '%text[]', 'abc');
%! check_error ('vorlex:paramPut:complexValue', 'paramPut', p, '%float8', 1 + 2i);
%! check_error ('vorlex:paramPut:textHasNul', 'paramPut', p, '%text', ['a' char(0) 'b']);
%! check_error ('vorlex:paramPut:putFailed', 'paramPut', p, '%numeric', '1.2.3');
%! check_error ('vorlex:paramPut:putFailed', 'paramPut', p, '%text[]', {1});
%! check_error ('vorlex:paramPut:numericNotText', 'paramPut', p, '%numeric[]', {1});
%! check_error ('vorlex:paramPut:textHasNul', 'paramPut', p, '%numeric[]', {['1' char(0) '2']});
%! check_error ('vorlex:paramPut:putFailed', 'paramPut', p, '%int4[]', zeros (1, 1, 1, 1, 1, 1, 2));
%! check_error ('vorlex:paramPut:tooManyDims', 'paramPut', p, '%numeric[]', cell (1, 1, 1, 1, 1, 1, 2));
%! ## One byte over the 1 GB PostgreSQL takes for a value: too large, not out of memory.
%! check_error ('vorlex:paramPut:valueTooLarge', 'paramPut', p, '%bytea', zeros (1, 2^30, 'uint8'));
%! ## libpqtypes' own date/time types take structs, not date numbers.
%! check_error ('vorlex:paramPut:dateTimeSchema', 'paramPut', p, '%pg_catalog.timestamp', 1);
%! check_error ('vorlex:paramPut:unsupportedType', 'paramPut', p, '%interval', 1);
%! assert (vorlex ('paramCount', p), int32 (0));
%! vorlex ('paramClear', p);

%!test
%! ## Malformed wrappers.
%! p = vorlex ('paramCreate', c);
%! w = struct ('value', {1, 2}, 'valueIsNull', false);
%! check_error ('vorlex:paramPut:wrapperShape', 'paramPut', p, '%int4', w);
%! check_error ('vorlex:paramPut:wrapperNoValue', 'paramPut', p, '%int4', struct ('valueIsNull', false));
%! check_error ('vorlex:paramPut:wrapperNoMask', 'paramPut', p, '%int4', struct ('value', 1));
%! check_error ('vorlex:paramPut:maskNotLogical', 'paramPut', p, '%int4', struct ('value', 1, 'valueIsNull', 0));
%! w = struct ('value', 1, 'valueIsNull', false, 'rowIsNull', 1);
%! check_error ('vorlex:paramPut:nullFlagNotLogical', 'paramPut', p, '%int4', w);
%! w = struct ('value', 1, 'valueIsNull', false, 'rowIsNull', [true true]);
%! check_error ('vorlex:paramPut:nullFlagNotLogical', 'paramPut', p, '%int4', w);
%! w = struct ('value', [1 2], 'valueIsNull', false);
%! check_error ('vorlex:paramPut:maskShape', 'paramPut', p, '%int4[]', w);
%! w = struct ('value', 1, 'valueIsNull', [false false]);
%! check_error ('vorlex:paramPut:maskShape', 'paramPut', p, '%int4', w);
%! ## A struct that is not a wrapper is still a value for serbytea.
%! assert (vorlex ('paramCount', p), int32 (0));
%! vorlex ('paramClear', p);

%!test
%! ## Argument checks of the five commands and of paramExec.
%! p = vorlex ('paramCreate', c);
%! check_error ('vorlex:paramCreate:nargin', 'paramCreate');
%! check_error_1 ('vorlex:paramCreate:connectionClass', 'paramCreate', double (c));
%! check_error ('vorlex:paramPut:nargin', 'paramPut', p, '%int4');
%! check_error ('vorlex:paramPut:formatNotChar', 'paramPut', p, 1, 1);
%! check_error ('vorlex:paramPut:paramClass', 'paramPut', 1, '%int4', 1);
%! check_error ('vorlex:paramReset:unknownParam', 'paramReset', c);
%! check_error ('vorlex:paramExec:nargin', 'paramExec', c, p);
%! check_error ('vorlex:paramExec:unknownParam', 'paramExec', c, c, 'select 1');
%! check_error ('vorlex:paramExec:sqlNotText', 'paramExec', c, p, 1);
%! ## A server error is raised, and the set is left as it was.
%! vorlex ('paramPut', p, '%int4', 1);
%! check_error ('vorlex:paramExec:queryFailed', 'paramExec', c, p, 'select $1::int4 / 0');
%! assert (vorlex ('paramCount', p), int32 (1));
%! vorlex ('paramClear', p);
