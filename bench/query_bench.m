% query_bench (table, reps) - times query against exec + resultGet with
% hand-written specifiers on the int4, float8, text and timestamp columns
% of the benchmark table, in turns in one process, the best of REPS runs
% each; the clear of the result counts for exec + resultGet, as query
% clears its own.  Stops with an error if the two give different columns.
%
% Prints "vorlex.query.<name> <value>" lines for bench/run.sh.
function query_bench (table, reps)
  sql = sprintf ('select id, x, label, taken from %s', table);
  c = vorlex ('connect', '');
  best_query = Inf;
  best_typed = Inf;
  for rep = 1:reps
    for turn = circshift (1:2, rep - 1)
      if (turn == 1)
        clear d;
        t0 = tic ();
        d = vorlex ('query', c, sql);
        best_query = min (best_query, toc (t0));
      else
        clear id x label taken;
        t0 = tic ();
        r = vorlex ('exec', c, sql);
        [id, x, label, taken] = vorlex ('resultGet', r, '%int4 %float8 %text %timestamp', ...
                                        0, 1, 2, 3);
        vorlex ('clear', r);
        best_typed = min (best_typed, toc (t0));
      end
    end
  end
  vorlex ('finish', c);
  if (! isequal ({d.id, d.x, d.label, d.taken}, {id.value, x.value, label.value, taken.value}))
    error ('query_bench: query and resultGet read different columns');
  end
  printf ('vorlex.query.rows %d\n', numel (d.id));
  printf ('vorlex.query.query_s %.6f\n', best_query);
  printf ('vorlex.query.exec_get_s %.6f\n', best_typed);
end
% SPDX-License-Identifier: BSD-3-Clause
