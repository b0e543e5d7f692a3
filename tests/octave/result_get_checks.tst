## resultGet: column references and the checks on its arguments.

%!shared c, r
%! c = vorlex ('connect', '');
%! r = vorlex ('exec', c, 'select 1::int4 a, 2::int8 b, now()::timestamp ts, 1.5::numeric n');

%!function check_error (id, nout, varargin)
%!  try
%!    out = cell (1, nout);
%!    [out{:}] = vorlex ('resultGet', varargin{:});
%!  catch err
%!    assert (err.identifier, id);
%!    return;
%!  end_try_catch
%!  error ('no error, expected %s', id);
%!endfunction

%!test
%! ## Columns by number and by name; 1 reads the second column.
%! [x, y] = vorlex ('resultGet', r, '%int8 #int4', 1, 'a');
%! assert (x.value, int64 (2));
%! assert (y.value, int32 (1));
%! n = vorlex ('resultGet', r, '%numeric', 3);
%! assert (n.value, {'1.5'});
%! ## Text between specifiers is skipped.
%! [x, y] = vorlex ('resultGet', r, 'first %int4, then %int8 end', 0, 1);
%! assert ([double(x.value) double(y.value)], [1 2]);

%!test
%! check_error ('vorlex:resultGet:nargout', 0, r, '%int4', 0);
%! check_error ('vorlex:resultGet:nargin', 1, r, '%int4');
%! check_error ('vorlex:resultGet:nargin', 1, r, '%int4', 0, 'columnVectors');
%! check_error ('vorlex:resultGet:optionNotChar', 1, r, '%int4', 0, 1, true);
%! check_error ('vorlex:resultGet:unknownOption', 1, r, '%int4', 0, 'columnVector', true);
%! check_error ('vorlex:resultGet:resultClass', 1, double (r), '%int4', 0);
%! check_error ('vorlex:resultGet:unknownResult', 1, c, '%int4', 0);
%! check_error ('vorlex:resultGet:formatNotChar', 1, r, 1, 0);
%! check_error ('vorlex:resultGet:badFormat', 1, r, '%nosuchtype', 0);
%! check_error ('vorlex:resultGet:tooManySpecifiers', 1, r, '%int4 %int8', 0);
%! check_error ('vorlex:resultGet:dateTimeSchema', 1, r, '%pg_catalog.timestamp', 2);
%! check_error ('vorlex:resultGet:unsupportedType', 1, r, '%interval', 0);
%! check_error ('vorlex:resultGet:columnNumber', 1, r, '%int4', 1.5);
%! check_error ('vorlex:resultGet:columnNumber', 1, r, '%int4', int32 (0));
%! check_error ('vorlex:resultGet:columnNumber', 1, r, '%int4', [0 1]);
%! check_error ('vorlex:resultGet:columnNumber', 1, r, '%int4', NaN);
%! check_error ('vorlex:resultGet:columnNameNotText', 1, r, '#int4', 0);
%! check_error ('vorlex:resultGet:unknownColumn', 1, r, '#int4', 'nope');
%! check_error ('vorlex:resultGet:typeMismatch', 1, r, '%int4[]', 0);
%! check_error ('vorlex:resultGet:typeMismatch', 1, r, '%int4', -1);
%! check_error ('vorlex:resultGet:typeMismatch', 1, r, '%int4', 4);
%! check_error ('vorlex:resultGet:typeMismatch', 1, r, '%int4', 1e12);
%! try
%!   s = vorlex ('resultGet', r, '%int4', 1);
%!   error ('an int8 column was read as int4');
%! catch err
%!   assert (err.identifier, 'vorlex:resultGet:typeMismatch');
%!   assert (! isempty (strfind (err.message, 'OID 20')));
%! end_try_catch

%!test
%! ## Fewer specifiers than outputs leave the extra outputs unassigned.
%! try
%!   [x, y] = vorlex ('resultGet', r, '%int4', 0, 1);
%!   error ('y was assigned');
%! catch err
%!   ## Octave's own error for an output the function left unset.
%!   assert (! isempty (strfind (err.message, 'element number 2 undefined')), err.message);
%! end_try_catch

%!test
%! ## A COPY result has no column names to look up.
%! vorlex ('exec', c, 'create temp table copied (a int4)');
%! k = vorlex ('execText', c, 'copy copied to stdout');
%! check_error ('vorlex:resultGet:unknownColumn', 1, k, '#int4', 'a');
%! vorlex ('clear', k);
%! vorlex ('reset', c);
