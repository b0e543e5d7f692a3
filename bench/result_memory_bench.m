% result_memory_bench (table, command, count) - what a live result handle
% costs: COUNT uncleared 20-row results of COMMAND ('exec', 'paramExec' or
% 'execText'), the RSS they added divided by COUNT.
%
% Prints "vorlex.result_handle_bytes.<command> <bytes>" for
% bench/run_small.sh, which runs each command in an Octave process of its
% own: memory freed by an earlier round would be reused unseen.
function result_memory_bench (table, command, count)
  sql = sprintf ('select id, x, label, taken from %s where id <= 20', table);
  c = vorlex ('connect', '');
  p = vorlex ('paramCreate', c);
  vorlex ('clear', make_result (c, p, command, sql));   % warm-up

  held = zeros (count, 1, 'uint32');
  before = status_bytes ('VmRSS');
  for k = 1:count
    held(k) = make_result (c, p, command, sql);
  end
  growth = status_bytes ('VmRSS') - before;
  assert (vorlex ('rowCount', held(end)), 20);

  for k = 1:count
    vorlex ('clear', held(k));
  end
  vorlex ('paramClear', p);
  vorlex ('finish', c);
  print_numbers ('vorlex.', ['result_handle_bytes.' command], round (growth / count));
end

function r = make_result (c, p, command, sql)
  switch (command)
    case 'exec'
      r = vorlex ('exec', c, sql);
    case 'paramExec'
      r = vorlex ('paramExec', c, p, sql);
    case 'execText'
      r = vorlex ('execText', c, sql);
  end
end
% SPDX-License-Identifier: BSD-3-Clause
