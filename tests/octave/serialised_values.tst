## serbytea and serbytea_wn: any Octave value stored in a bytea column.

%!shared c
%! c = vorlex ('connect', '');

%!test
%! ## Struct, cell and matrix values make the round trip; serbytea takes a
%! ## struct as the value itself, serbytea_wn reads it as a wrapper.
%! values = {struct('a', {1, 'two'}, 'b', {{3}, int8([4 5])}), {1, 'x'; [], {true}}, ...
%!           magic(4), single(1:3) + 2i, 'text', zeros(0, 3, 'uint16')};
%! for k = 1:numel (values)
%!   [s, t] = put_and_get (c, '%serbytea', values{k});
%!   assert (strncmp (t, '\x0e000000', 10));   # a miMATRIX element
%!   assert (s.value, values(k));
%!   assert (class (s.value{1}), class (values{k}));
%! end
%! w = struct ('value', {{'inside'}}, 'valueIsNull', false);
%! s = put_and_get (c, '%serbytea_wn', w);
%! assert (s.value, {{'inside'}});
%! s = put_and_get (c, '%serbytea_wn', struct ('value', 1, 'valueIsNull', true));
%! assert (s.rowIsNull, true);
%! ## serbytea has no wrapper, but its columns may hold NULL.
%! r = vorlex ('exec', c, 'select null::bytea');
%! s = vorlex ('resultGet', r, '%serbytea', 0, 'columnVectors', false);
%! assert (s.rowIsNull, true);
%! assert (s.value, {zeros(0, 0, 'uint8')});
%! assert (s.valueIsNull, {true});
%! vorlex ('clear', r);

%!test
%! ## Arrays of serialised values: one element per cell, masks for NULLs.
%! w = struct ('value', {{[1 2], 'b'; {3}, []}}, 'valueIsNull', logical ([0 0; 1 0]));
%! [s, t] = put_and_get (c, '%serbytea_wn[]', w);
%! assert (strncmp (t, '{{"\\x0e', 7));
%! assert (s.valueIsNull, {logical([0 0; 1 0])});
%! assert (s.value{1}([1 3 4]), {[1 2], 'b', []});
%! [s, t] = put_and_get (c, '%serbytea[]@', {1, 'two'});
%! assert (s.value, {{1; 'two'}});

%!test
%! ## The stored bytes, after a standard 128-byte header, are a MAT-file.
%! value = struct ('m', reshape (1:6, 2, 3), 'c', {{'a', int32(7)}});
%! p = vorlex ('paramCreate', c);
%! vorlex ('paramPut', p, '%serbytea', value);
%! r = vorlex ('paramExec', c, p, 'select $1::bytea');
%! b = vorlex ('resultGet', r, '%bytea', 0);
%! vorlex ('clear', r);
%! vorlex ('paramClear', p);
%! header = zeros (1, 128, 'uint8');
%! header(1:116) = uint8 (' ');
%! text = 'MATLAB 5.0 MAT-file';
%! header(1:numel (text)) = uint8 (text);
%! header(125:128) = uint8 ([0 1 'I' 'M']);
%! file = [tempname() '.mat'];
%! fid = fopen (file, 'wb');
%! fwrite (fid, [header b.value{1}]);
%! fclose (fid);
%! loaded = load (file);
%! delete (file);
%! assert (loaded.value, value);

%!test
%! ## Bytes that are not a serialised value fail in the deserialising
%! ## function, which resultGet reports.
%! r = vorlex ('exec', c, 'select ''\x0102''::bytea');
%! try
%!   s = vorlex ('resultGet', r, '%serbytea', 0);
%!   error ('bad bytes accepted');
%! catch err
%!   assert (err.identifier, 'vorlex:resultGet:deserialiseFailed');
%! end_try_catch
%! vorlex ('clear', r);

%!test
%! ## The two functions may be shadowed by the user's own.
%! dir = tempname ();
%! mkdir (dir);
%! fid = fopen (fullfile (dir, 'vorlex_serialize.m'), 'w');
%! fprintf (fid, 'function b = vorlex_serialize (v)\n  b = uint8 ([42 v]);\nend\n');
%! fclose (fid);
%! fid = fopen (fullfile (dir, 'vorlex_deserialize.m'), 'w');
%! fprintf (fid, 'function v = vorlex_deserialize (b)\n  v = double (b(2:end));\nend\n');
%! fclose (fid);
%! ## The current folder comes first on the path (ctest runs in build/).
%! previous = cd (dir);
%! clear vorlex_serialize vorlex_deserialize;   # forget the cached ones
%! unwind_protect
%!   [s, t] = put_and_get (c, '%serbytea', uint8 (7));
%!   assert (t, '\x2a07');
%!   assert (s.value, {7});
%!   p = vorlex ('paramCreate', c);
%!   try
%!     vorlex ('paramPut', p, '%serbytea', struct ('a', 1));
%!     error ('a failing serialiser was not reported');
%!   catch err
%!     assert (err.identifier, 'vorlex:paramPut:serialiseFailed');
%!   end_try_catch
%!   vorlex ('paramClear', p);
%! unwind_protect_cleanup
%!   cd (previous);
%!   clear vorlex_serialize vorlex_deserialize;
%!   confirm_recursive_rmdir (false, 'local');
%!   rmdir (dir, 's');
%! end_unwind_protect

%!test
%! ## A serialiser that calls the module again (here: finishing the very
%! ## connection the batch is using) is refused, not obeyed: the batch fails
%! ## with the serialiser's failure and the connection stays usable.
%! global vorlex_test_victim
%! vorlex_test_victim = vorlex ('connect', '');
%! dir = tempname ();
%! mkdir (dir);
%! fid = fopen (fullfile (dir, 'vorlex_serialize.m'), 'w');
%! fprintf (fid, ['function b = vorlex_serialize (v)\n  global vorlex_test_victim\n' ...
%!                '  vorlex (''finish'', vorlex_test_victim);\n  b = uint8 (1);\nend\n']);
%! fclose (fid);
%! previous = cd (dir);
%! clear vorlex_serialize;
%! unwind_protect
%!   try
%!     vorlex ('batchExec', vorlex_test_victim, 'select $1', '%serbytea', struct ('a', {{1; 2}}));
%!     error ('a serialiser that calls vorlex was obeyed');
%!   catch err
%!     assert (err.identifier, 'vorlex:batchExec:serialiseFailed');
%!   end_try_catch
%!   p = vorlex ('paramCreate', vorlex_test_victim);
%!   try
%!     vorlex ('paramPut', p, '%serbytea', 1);
%!     error ('a serialiser that calls vorlex was obeyed');
%!   catch err
%!     assert (err.identifier, 'vorlex:paramPut:serialiseFailed');
%!   end_try_catch
%!   vorlex ('paramClear', p);
%!   r = vorlex ('execText', vorlex_test_victim, 'select 42');
%!   assert (vorlex ('getValue', r, 0, 0), int32 (42));
%!   vorlex ('clear', r);
%! unwind_protect_cleanup
%!   cd (previous);
%!   clear vorlex_serialize;
%!   confirm_recursive_rmdir (false, 'local');
%!   rmdir (dir, 's');
%!   vorlex ('finish', vorlex_test_victim);
%!   clear -global vorlex_test_victim
%! end_unwind_protect
