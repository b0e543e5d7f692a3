% vorlex_matelement: the serialiser behind vorlex_serialize and
% vorlex_deserialize (a MEX file of its own): one Octave value to one MAT-file
% Level 5 data element and back.  Call those two functions, not this one.

% SPDX-License-Identifier: BSD-3-Clause
