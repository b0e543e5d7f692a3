% demo.m - connects to PostgreSQL, loads a struct of columns with insert
% and reads it back with query, then does the same with the typed commands
% (parameters, whole columns, batches, COPY) and shows a few properties of
% the connection and of the results.
%
% Run from the project folder with `make demo`, which builds the module and
% starts a throwaway server unless the PG* variables name one.
addpath (fullfile (fileparts (mfilename ('fullpath')), '..', 'build'));

vorlex ();   % no arguments: the banner

% The connection string uses libpq's syntax; '' takes the PG* variables.
conn = vorlex ('connect', '');
fprintf ('connected to database "%s" as "%s" on %s:%s\n', vorlex ('db', conn), ...
         vorlex ('user', conn), vorlex ('host', conn), vorlex ('port', conn));
vorlex ('status', conn);

% One call each way: insert binds fields to columns by name and takes the
% types from the table; query reads every column by its type.
vorlex ('exec', conn, ['create temp table samples (id int4 primary key, ' ...
                       'depth float8, site text, taken timestamp, flags int2[])']);
samples.id = int32 ((1:4)');
samples.Depth = [12.5; NaN; 7; 3.25];              % binds column depth; NaN is stored
samples.site = {'north'; 'south'; []; 'east'};     % [] in a cell: NULL
samples.taken = datenum (2026, 12, 7) + (0:3)' / 24;   % flags has no field: its default
n = vorlex ('insert', conn, 'samples', samples);
fprintf ('insert: %d rows\n', n);
[data, info] = vorlex ('query', conn, ...
                       'select id, depth, site, taken, count(*) over () from samples where id >= $1', ...
                       {int32(2)});
fprintf ('query: fields %s; types %s\n', strjoin (fieldnames (data)', ', '), ...
         strjoin ({info.columns.type}, ', '));
for k = 1:numel (data.id)
  fprintf ('  id %d  depth %-5g site %-6s taken %s\n', data.id(k), data.depth(k), ...
           data.site{k}, datestr (data.taken(k)));
end

vorlex ('exec', conn, 'create temp table readings (id int4, value float8, taken timestamp)');
result = vorlex ('exec', conn, ['insert into readings ' ...
                                'select i, i * 0.5, now () from generate_series (1, 5) i']);
fprintf ('%s: %s rows\n', vorlex ('cmdStatus', result), vorlex ('cmdTuples', result));
vorlex ('clear', result);

% Typed parameters: one value per specifier; a wrapper struct carries a
% NULL.  Date numbers go to timestamp columns.
param = vorlex ('paramCreate', conn);
vorlex ('paramPut', param, '%int4 %float8 %timestamp', int32 (6), ...
        struct ('value', 0, 'valueIsNull', true), datenum (2026, 12, 7, 9, 30, 0));
vorlex ('paramExec', conn, param, 'insert into readings values ($1, $2, $3)');
vorlex ('paramReset', param);
vorlex ('paramPut', param, '%float8', 1);
result = vorlex ('paramExec', conn, param, ...
                 'select id, value, taken from readings where value > $1 or value is null');
vorlex ('paramClear', param);
fprintf ('select: status %d, %s rows, binary results: %d\n', vorlex ('resultStatus', result), ...
         vorlex ('cmdTuples', result), vorlex ('binaryTuples', result));

% Whole columns in one call: class int32, double and date numbers, with the
% NULL rows flagged separately.
[id, value, taken] = vorlex ('resultGet', result, '%int4 #float8 %timestamp', 0, 'value', 2);
vorlex ('clear', result);
for k = 1:numel (id.value)
  if (value.rowIsNull(k))
    shown = 'NULL';
  else
    shown = sprintf ('%g', value.value(k));
  end
  fprintf ('  id %d  value %-5s taken %s\n', id.value(k), shown, datestr (taken.value(k)));
end

% A failing statement: exec raises the server's message ...
try
  vorlex ('exec', conn, 'select * from no_such_table');
catch err
  fprintf ('exec raised %s:\n  %s\n', err.identifier, strtrim (err.message));
end
% ... while execText hands back a result that carries it.
result = vorlex ('execText', conn, 'select * from no_such_table');
fprintf ('execText gave status %d: %s', vorlex ('resultStatus', result), ...
         vorlex ('resultErrorMessage', result));
vorlex ('clear', result);

% A batch: 100,000 rows from whole columns in one pipelined stream, every
% tenth price NULL, then read back and checked.
m = 100000;
rows.id = int32 ((1:m)');
rows.price = (1:m)' / 4;
rows.label = cellstr (num2str ((1:m)', 'part %06d'));
rows.taken = datenum (2026, 1, 1) + (0:m-1)' / 1440;
nulls.id = false (m, 1);
nulls.price = mod ((1:m)', 10) == 0;
nulls.label = false (m, 1);
nulls.taken = false (m, 1);
vorlex ('exec', conn, ['create temp table parts (id int4 primary key, price float8, ' ...
                       'label text, taken timestamp)']);
tic ();
vorlex ('batchExec', conn, 'insert into parts values ($1, $2, $3, $4)', ...
        '%int4 %float8 %text %timestamp', rows, [], nulls);
elapsed = toc ();
result = vorlex ('exec', conn, 'select id, price, label, taken from parts order by id');
[id, price, label, taken] = vorlex ('resultGet', result, '%int4 %float8 %text %timestamp', ...
                                    0, 1, 2, 3);
vorlex ('clear', result);
same = isequal (id.value, rows.id) && isequal (price.rowIsNull, nulls.price) ...
       && isequal (price.value(~nulls.price), rows.price(~nulls.price)) ...
       && isequal (label.value, rows.label) && max (abs (taken.value - rows.taken)) < 1e-8;
fprintf ('batchExec: %d rows in %.2f s (%.0f rows/s); read back %d rows, all equal: %d\n', ...
         m, elapsed, m / elapsed, numel (id.value), same);
if (~same)
  error ('demo:batch', 'the rows read back differ from the rows inserted');
end

% Bulk COPY: a million rows loaded with copyIn and read back with copyOut,
% each timed against the same rows through batchExec and exec + resultGet.
m = 1000000;
bulk.id = int32 ((1:m)');
bulk.price = (1:m)' / 4;
bulk.label = cellstr (num2str (mod ((1:m)', 1000), 'bin %03d'));
bulk.taken = datenum (2026, 1, 1) + (0:m-1)' / 86400;
bulkNulls = struct ('id', false (m, 1), 'price', mod ((1:m)', 10) == 0, ...
                    'label', false (m, 1), 'taken', false (m, 1));
vorlex ('exec', conn, ['create temp table bulk (id int4 primary key, price float8, ' ...
                       'label text, taken timestamp)']);
vorlex ('exec', conn, 'create temp table bulk_batched (like bulk including all)');
format = '%int4 %float8 %text %timestamp';
query = 'select id, price, label, taken from bulk order by id';
tic ();
vorlex ('batchExec', conn, 'insert into bulk_batched values ($1, $2, $3, $4)', format, ...
        bulk, [], bulkNulls);
batch_s = toc ();
tic ();
copied = vorlex ('copyIn', conn, 'bulk', format, bulk, [], bulkNulls);
copy_in_s = toc ();
tic ();
result = vorlex ('exec', conn, query);
[id, price, label, taken] = vorlex ('resultGet', result, format, 0, 1, 2, 3);
vorlex ('clear', result);
result_get_s = toc ();
tic ();
[cid, cprice, clabel, ctaken] = vorlex ('copyOut', conn, query, format);
copy_out_s = toc ();
same = copied == m && isequal (cid.value, bulk.id) && isequal (cprice.rowIsNull, bulkNulls.price) ...
       && isequal (cprice.value(~bulkNulls.price), bulk.price(~bulkNulls.price)) ...
       && isequal (clabel.value, bulk.label) && max (abs (ctaken.value - bulk.taken)) < 1e-8 ...
       && isequaln ({cid, cprice, clabel, ctaken}, {id, price, label, taken});
differing = vorlex ('execText', conn, ['select count(*) from bulk full join bulk_batched b ' ...
                                       'using (id) where (bulk.*) is distinct from (b.*)']);
same = same && vorlex ('getValue', differing, 0, 0) == 0;
vorlex ('clear', differing);
fprintf ('copyIn:  %d rows in %.2f s (%.0f rows/s), %.1f times batchExec''s %.2f s\n', ...
         m, copy_in_s, m / copy_in_s, batch_s / copy_in_s, batch_s);
fprintf ('copyOut: %d rows in %.2f s (%.0f rows/s), %.1f times exec + resultGet''s %.2f s\n', ...
         numel (cid.value), copy_out_s, m / copy_out_s, result_get_s / copy_out_s, result_get_s);
fprintf (['round trip: copyOut gives what was loaded and what resultGet gives, ' ...
          'batchExec stored the same rows: %d\n'], same);
if (~same)
  error ('demo:copy', 'the rows read back differ from the rows loaded');
end

vorlex ('finish', conn);
% SPDX-License-Identifier: BSD-3-Clause
