function value = vorlex_deserialize (bytes)
  % VALUE = vorlex_deserialize (BYTES) turns a uint8 row made by
  % vorlex_serialize (or any one MAT-file miMATRIX element, uncompressed)
  % back into the value it holds.
  %
  % Bytes that are not such an element raise an error whose identifier
  % starts with vorlex:vorlex_deserialize: and names the failed check, for
  % example vorlex:vorlex_deserialize:truncated.  vorlex reads values stored
  % in bytea columns this way; a function of the same name earlier on the
  % path replaces this one.
  %
  % See also vorlex_serialize.
  narginchk (1, 1);
  if (~isa (bytes, 'uint8') || ~ismatrix (bytes) || (size (bytes, 1) ~= 1 && ~isempty (bytes)))
    error ('vorlex:vorlex_deserialize:notByteRow', ...
           'vorlex_deserialize: BYTES must be a uint8 row vector, not a %s of size %s', ...
           class (bytes), mat2str (size (bytes)));
  end
  value = vorlex_matelement ('deserialize', bytes);
end
% SPDX-License-Identifier: BSD-3-Clause
