% Smoke test of an installed or separately built vorlex: whatever module is
% first on the path connects to the server the PG* environment names,
% inserts, queries, copies out, and shows its help.  Errors end octave-cli
% with a non-zero status.
assert (! isempty (strfind (evalc ('help vorlex'), 'copyIn')), 'help vorlex lacks the overview');
conn = vorlex ('connect', '');

vorlex ('exec', conn, 'CREATE TEMP TABLE smoke (id int4, name text, price float8)');
rows = struct ('id', int32 ([1; 2; 3]), 'name', {{'bolt'; 'nut'; 'washer'}}, ...
               'price', [0.25; 0.1; 0.05]);
vorlex ('insert', conn, 'smoke', rows);
data = vorlex ('query', conn, 'SELECT id, name, price FROM smoke WHERE id >= $1 ORDER BY id', ...
               {int32(2)});
assert (data.id, [2; 3]);
assert (data.name, {'nut'; 'washer'});
assert (data.price, [0.1; 0.05]);
[ids, prices] = vorlex ('copyOut', conn, 'SELECT id, price FROM smoke ORDER BY id', '%int4 %float8');
assert (ids.value, int32 ([1; 2; 3]));
assert (prices.value, [0.25; 0.1; 0.05]);
bytes = vorlex_serialize ({1, 'two'});
assert (vorlex_deserialize (bytes), {1, 'two'});
vorlex ('finish', conn);
printf ('smoke test passed with %s\n', which ('vorlex'));
% SPDX-License-Identifier: BSD-3-Clause
