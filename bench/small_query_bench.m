% small_query_bench (table, count) - times COUNT one-row lookups through the
% module, each paramPut, paramExec, resultGet, clear and paramReset, as
% baseline_small does them through libpq.
%
% Prints "vorlex.<name> <value>" lines for bench/run_small.sh: the lookups'
% time, and the floor: the same loop with five calls of the cheapest
% command (paramCount) in place of the five commands, which is what the
% host charges for calling the module at all.
function small_query_bench (table, count)
  sql = sprintf ('select id, x, label, taken from %s where id = $1', table);
  format = '%int4 %float8 %text %timestamp';
  c = vorlex ('connect', '');
  p = vorlex ('paramCreate', c);
  look_up (c, p, sql, format, int32 (1:200));   % warm-up

  t0 = tic ();
  checksum = look_up (c, p, sql, format, int32 (1:count));
  queries_s = toc (t0);

  t0 = tic ();
  call_floor (p, count);
  floor_s = toc (t0);

  vorlex ('paramClear', p);
  vorlex ('finish', c);
  fprintf (stderr, 'small_query_bench: checksum %.6f\n', checksum);
  print_numbers ('vorlex.', 'small_query_s', queries_s, 'small_floor_s', floor_s, ...
                 'small_queries', count);
end

function checksum = look_up (c, p, sql, format, ids)
  checksum = 0;
  for id = ids
    vorlex ('paramPut', p, '%int4', id);
    r = vorlex ('paramExec', c, p, sql);
    [a, x, label, taken] = vorlex ('resultGet', r, format, 0, 1, 2, 3);
    vorlex ('clear', r);
    vorlex ('paramReset', p);
    checksum += double (a.value) + x.value + numel (label.value{1}) + taken.value;
  end
end

function call_floor (p, count)
  checksum = 0;
  for id = int32 (1:count)
    n = vorlex ('paramCount', p);
    n = vorlex ('paramCount', p);
    n = vorlex ('paramCount', p);
    n = vorlex ('paramCount', p);
    n = vorlex ('paramCount', p);
    checksum += double (n) + double (id);
  end
end
