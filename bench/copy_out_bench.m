% copy_out_bench (table, reps, columns) - times copyOut against exec and
% resultGet reading the same columns of the benchmark table, the best of
% REPS runs each, the two taking turns; measures copyOut's memory on its
% first run, and checks that both give the same structs.
%
% COLUMNS is 'all' (the five columns that result_get_bench reads) or
% 'fixed' (id, x and taken: no per-row arrays, whose host bookkeeping whos
% does not count).  copyOut's first run is the first big thing this process
% does, so that no heap freed before can hide part of its peak: bench/run.sh
% runs each column set in an Octave process of its own.
%
% Prints "vorlex.copy_<columns>.<name> <value>" lines for bench/run.sh:
% times in seconds (copyOut's whole call, and exec and resultGet together),
% memory in bytes.  Outputs that differ from resultGet's are an error, so
% that a wrong read cannot pass for a fast one.
function copy_out_bench (table, reps, columns)
  if (strcmp (columns, 'all'))
    names = 'id, x, label, taken, vals';
    format = '%int4 %float8 %text %timestamp %int4[]';
  else
    names = 'id, x, taken';
    format = '%int4 %float8 %timestamp';
  end
  sql = sprintf ('select %s from %s', names, table);
  indices = num2cell (0:numel (strsplit (format)) - 1);
  copied = cell (size (indices));
  got = cell (size (indices));
  c = vorlex ('connect', '');

  best_copy = Inf;
  best_exec_get = Inf;
  for rep = 1:reps
    if (rep == 1)
      [hwm_reset, rss_start] = reset_peak ();
    end
    t0 = tic ();
    [copied{:}] = vorlex ('copyOut', c, sql, format);
    best_copy = min (best_copy, toc (t0));
    if (rep == 1)
      peak_growth = status_bytes ('VmHWM') - rss_start;
      output_rss = status_bytes ('VmRSS') - rss_start;
      held = whos ('copied');
      output_bytes = held.bytes;
      rows = numel (copied{1}.value);
    end
    if (rep < reps)
      copied(:) = {[]};
    end

    t0 = tic ();
    r = vorlex ('exec', c, sql);
    [got{:}] = vorlex ('resultGet', r, format, indices{:});
    best_exec_get = min (best_exec_get, toc (t0));
    vorlex ('clear', r);
    if (rep == reps)
      k = find (! cellfun (@isequal, copied, got), 1);
      if (! isempty (k))
        error ('copy_out_bench: copyOut differs from resultGet in column %d of: %s', k - 1, sql);
      end
    end
    got(:) = {[]};
  end
  vorlex ('finish', c);

  name = ['vorlex.copy_' columns '.'];
  print_numbers (name, 'rows', rows, 'copy_out_s', best_copy, 'exec_get_s', best_exec_get, ...
                 'output_bytes', output_bytes, 'output_rss_bytes', output_rss, ...
                 'peak_growth_bytes', peak_growth, ...
                 'peak_reset', hwm_reset);
end
% SPDX-License-Identifier: BSD-3-Clause
