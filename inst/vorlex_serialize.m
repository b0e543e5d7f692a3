function bytes = vorlex_serialize (value)
  % BYTES = vorlex_serialize (VALUE) turns VALUE into a 1-by-n uint8 row:
  % one MAT-file (Level 5) miMATRIX element holding VALUE under the name
  % "value".  Written after a 128-byte MAT-file header, the bytes make a
  % MAT-file that load reads back.
  %
  % VALUE may be a numeric (real or complex), logical, char, cell, struct or
  % sparse array of any shape, with cells and structs nested up to 256
  % levels; function handles and objects are refused.  vorlex_deserialize
  % turns BYTES back into VALUE.  vorlex stores values in bytea columns this
  % way; a function of the same name earlier on the path replaces this one.
  %
  % See also vorlex_deserialize.
  narginchk (1, 1);
  bytes = vorlex_matelement ('serialize', value);
end
% SPDX-License-Identifier: BSD-3-Clause
