% result_get_bench (table, reps) - times exec and resultGet on the benchmark
% table, the best of REPS runs each, and measures memory on the first run.
%
% Prints "vorlex.<name> <value>" lines for bench/run.sh: times in seconds,
% memory in bytes (the outputs both as whos counts their data and as the
% RSS growth they keep, which includes the host's bookkeeping of every
% array).  The per-column lines time resultGet reading that one
% column alone, to show where the conversion time goes.
function result_get_bench (table, reps)
  sql = sprintf ('select id, x, label, taken, vals from %s', table);
  format = '%int4 %float8 %text %timestamp %int4[]';
  columns = {'int4', 'float8', 'text', 'timestamp', 'int4[]'};
  c = vorlex ('connect', '');

  best_exec = Inf;
  best_get = Inf;
  best_column = Inf (1, numel (columns));
  for rep = 1:reps
    if (rep == 1)
      [hwm_reset, rss_start] = reset_peak ();
    end

    t0 = tic ();
    r = vorlex ('exec', c, sql);
    best_exec = min (best_exec, toc (t0));
    if (rep == 1)
      result_bytes = status_bytes ('VmRSS') - rss_start;
    end

    t0 = tic ();
    [a, b, t, ts, arr] = vorlex ('resultGet', r, format, 0, 1, 2, 3, 4);
    best_get = min (best_get, toc (t0));
    if (rep == 1)
      % Taken while the result and every output are alive.
      peak_growth = status_bytes ('VmHWM') - rss_start;
      output_rss = status_bytes ('VmRSS') - rss_start - result_bytes;
      held = whos ('a', 'b', 't', 'ts', 'arr');
      output_bytes = sum ([held.bytes]);
      rows = numel (a.value);
    end
    clear a b t ts arr;

    for k = 1:numel (columns)
      t0 = tic ();
      one = vorlex ('resultGet', r, ['%' columns{k}], k - 1);
      best_column(k) = min (best_column(k), toc (t0));
      clear one;
    end
    vorlex ('clear', r);
  end
  vorlex ('finish', c);
  host_cells = host_cell_floor (rows, reps);

  printf ('vorlex.rows %d\n', rows);
  printf ('vorlex.fetch_s %.6f\n', best_exec);
  printf ('vorlex.convert_s %.6f\n', best_get);
  printf ('vorlex.result_bytes %d\n', result_bytes);
  printf ('vorlex.output_bytes %d\n', output_bytes);
  printf ('vorlex.output_rss_bytes %d\n', output_rss);
  printf ('vorlex.peak_growth_bytes %d\n', peak_growth);
  printf ('vorlex.peak_reset %d\n', hwm_reset);
  for k = 1:numel (columns)
    printf ('vorlex.column_s.%s %.6f\n', columns{k}, best_column(k));
  end
  printf ('vorlex.host_cells_s %.6f\n', host_cells);
end

% What Octave itself takes to build the per-row arrays of the two cell
% columns without vorlex: one char row per row for the text column, and an
% int32 array with a logical mask per row for the int4[] column.  Every
% host array costs about a microsecond to make, hand back and free, so
% this is the floor of any resultGet of such columns.
function best = host_cell_floor (rows, reps)
  best = Inf;
  labels = repmat ('abcdefghijklmno', rows, 1);
  values = zeros (10, rows, 'int32');
  for rep = 1:reps
    t0 = tic ();
    text = cellstr (labels);
    arrays = num2cell (values, 1)';
    masks = num2cell (false (size (values)), 1)';
    best = min (best, toc (t0));
    clear text arrays masks;
  end
end
% SPDX-License-Identifier: BSD-3-Clause
