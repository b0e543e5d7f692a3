% write_bench (command, table_scalar, table_array, rows, array_rows, reps [, labels]) -
% times COMMAND, 'batchExec', 'copyIn' or 'insert', inserting ROWS scalar rows into
% TABLE_SCALAR and ARRAY_ROWS array rows into TABLE_ARRAY, the best of REPS
% runs each into the emptied table, measures memory on the first run, and
% checks every row inserted.  Either count may be 0 to leave that table out.
% LABELS is 'cell' (a cell of char rows, the default) or 'chars' (an
% N-by-20 char matrix, blank-padded; its numbers are named "chars_...").
%
% The commands get the same columns; batchExec an INSERT statement and
% copyIn the table as its COPY target, both with the same specifiers;
% insert the table alone, whose columns the fields are named after.  The rows are those of
% baseline_write.cpp, built here as Octave columns first: row i has id i,
% x i/7, a label of 10-20 letters, taken 2000-01-01 plus i seconds; and
% a = i..i+9 as int4, b = a/7 as float8, ten to a row.
%
% Prints "vorlex.<command>.<name> <value>" lines for bench/run_batch.sh:
% times in seconds, memory in bytes.  The memory is the peak RSS growth
% during the first run and the RSS growth left after it, next to the whos
% bytes of the input columns.  Heap that an earlier call freed and kept is
% reused unseen, so bench/run_batch.sh measures each command, table and
% size in a process of its own.  A wrong insert is an error, so that it
% cannot pass for a fast one.
function write_bench (command, table_scalar, table_array, rows, array_rows, reps, labels = 'cell')
  c = vorlex ('connect', '');
  unwind_protect
    if (rows > 0)
      [values, input] = scalar_columns (rows, labels);
      target = target_of (command, table_scalar, 'values ($1, $2, $3, $4)');
      prefix = ifelse_text (strcmp (labels, 'chars'), 'chars_', '');
      report (command, prefix, c, table_scalar, target, '%int4 %float8 %text %timestamp', values, ...
              input, reps);
      check_scalar (c, table_scalar, rows, strcmp (labels, 'chars'));
      clear values;
    end
    if (array_rows > 0)
      [values, input] = array_columns (array_rows);
      target = target_of (command, table_array, 'values ($1, $2)');
      report (command, 'array_', c, table_array, target, '%int4[]@ %float8[]@', values, input, reps);
      check_array (command, c, table_array, array_rows);
    end
  unwind_protect_cleanup
    vorlex ('finish', c);
  end_unwind_protect
end

% What COMMAND writes into TABLE: an INSERT with VALUES for batchExec, the
% table itself for copyIn and insert.
function target = target_of (command, table, values)
  if (! strcmp (command, 'batchExec'))
    target = table;
  else
    target = sprintf ('insert into %s %s', table, values);
  end
end

function text = ifelse_text (condition, yes, no)
  if (condition)
    text = yes;
  else
    text = no;
  end
end

% Row i = 1..n as the batch's columns, and their whos bytes.  The label is
% the alphabet written twice, from letter i % 26 on, 10 + i % 11 letters
% long: cellstr cuts each row of the padded char matrix at its last letter.
% LABELS 'chars' keeps the padded N-by-20 char matrix instead of the cell.
function [values, bytes] = scalar_columns (n, labels_form)
  i = (1:n)';
  alphabet = repmat ('a':'z', 1, 2);
  labels = alphabet(uint8 (mod (i, 26)) + uint8 (1:20));
  labels(uint8 (1:20) > 10 + mod (i, 11)) = ' ';
  values.id = int32 (i);
  values.x = i / 7;
  if (strcmp (labels_form, 'chars'))
    values.label = labels;
  else
    values.label = cellstr (labels);
  end
  values.taken = datenum (2000, 1, 1) + i / 86400;
  held = whos ('values');
  bytes = held.bytes;
end

function [values, bytes] = array_columns (n)
  i = (1:n)' + (0:9);
  values.a = int32 (i);
  values.b = i / 7;
  held = whos ('values');
  bytes = held.bytes;
end

% Runs COMMAND REPS times, measuring memory on the first run, and prints
% the best time and the memory.  copyIn and insert must report every row
% copied.
function report (command, prefix, c, table, target, format, values, input, reps)
  fields = fieldnames (values);
  rows = size (values.(fields{1}), 1);
  best = Inf;
  for rep = 1:reps
    exec_text (c, ['truncate ' table]);
    if (rep == 1)
      [hwm_reset, rss_start] = reset_peak ();
    end
    t0 = tic ();
    if (strcmp (command, 'copyIn'))
      copied = vorlex ('copyIn', c, target, format, values);
    elseif (strcmp (command, 'insert'))
      copied = vorlex ('insert', c, target, values);
    else
      vorlex ('batchExec', c, target, format, values);
      copied = rows;
    end
    best = min (best, toc (t0));
    if (! isequal (copied, rows))
      error ('write_bench: %s reported %d rows copied into %s, not %d', command, copied, table, rows);
    end
    if (rep == 1)
      peak = status_bytes ('VmHWM') - rss_start;
      kept = status_bytes ('VmRSS') - rss_start;
    end
  end

  name = ['vorlex.' command '.' prefix];
  print_numbers (name, 'rows', rows, 's', best, 'input_bytes', input, ...
                 'peak_growth_bytes', peak, 'kept_bytes', kept, 'peak_reset', hwm_reset);
end

% Every row must be there once and hold what row id's generator gives; a
% timestamp may be off by the microseconds a date number cannot resolve.
% PADDED: the labels were sent with the char matrix's blanks.
function check_scalar (c, table, rows, padded)
  label = ifelse_text (padded, 'rtrim(label)', 'label');
  sql = sprintf (['select count(*), count(distinct id), min(id), max(id), count(*) filter ' ...
                  '(where x = id::float8 / 7 and %s = substr(''%s'', 1 + id %% 26, 10 + id %% 11) ' ...
                  'and abs(extract(epoch from taken - timestamp ''2000-01-01'') - id) < 1e-3) ' ...
                  'from %s'], label, repmat ('a':'z', 1, 2), table);
  check (c, sql, [rows rows 1 rows rows], table);
end

% The arrays are compared flattened, as a 1-by-10 row may be stored either
% as ten elements or as one row of ten; their shape is printed.
function check_array (command, c, table, rows)
  a = sprintf (', a[1] + %d', 1:9);
  b = sprintf (', (a[1] + %d)::float8 / 7', 1:9);
  sql = sprintf (['select count(*), count(distinct a[1]), min(a[1]), max(a[1]), count(*) ' ...
                  'filter (where a = array[a[1]%s] and b = array[a[1]::float8 / 7%s] and ' ...
                  'a_dims in (''[1:10]'', ''[1:1][1:10]'') and b_dims = a_dims) ' ...
                  'from (select array(select unnest(a)) a, array(select unnest(b)) b, ' ...
                  'array_dims(a) a_dims, array_dims(b) b_dims from %s) t'], a, b, table);
  check (c, sql, [rows rows 1 rows rows], table);
  r = exec_text (c, sprintf ('select array_dims(a) from %s limit 1', table));
  printf ('vorlex.%s.array_dims %s\n', command, vorlex ('getValue', r, 0, 0));
  vorlex ('clear', r);
end

% Runs the one-row query SQL and compares its columns with EXPECTED: the
% row count, the distinct keys, the smallest and largest key, and the rows
% whose every value is right.
function check (c, sql, expected, table)
  r = exec_text (c, sql);
  got = zeros (size (expected));
  for k = 1:numel (expected)
    value = vorlex ('getValue', r, 0, k - 1);   % '' for NULL: an empty table
    if (isempty (value))
      value = NaN;
    end
    got(k) = double (value);
  end
  vorlex ('clear', r);
  if (! isequal (got, expected))
    error ('write_bench: %s holds the wrong rows: count, distinct, min, max, right = %s; expected %s', ...
           table, mat2str (got), mat2str (expected));
  end
end

% execText, raising the server's message when the statement fails.
function r = exec_text (c, sql)
  r = vorlex ('execText', c, sql);
  status = vorlex ('resultStatus', r);
  if (status != 1 && status != 2)   % neither PGRES_COMMAND_OK nor PGRES_TUPLES_OK
    message = vorlex ('resultErrorMessage', r);
    vorlex ('clear', r);
    error ('write_bench: %s: %s', sql, message);
  end
  if (nargout == 0)
    vorlex ('clear', r);
  end
end
% SPDX-License-Identifier: BSD-3-Clause
