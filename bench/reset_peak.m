% [ok, rss] = reset_peak () - resets the process's peak RSS to its current RSS
% and returns that RSS in bytes.
%
% Linux lets a process do so (writing 5 to clear_refs), so that the peak
% measured next is this run's, not start-up's.  False where it is not
% allowed.
function [ok, rss] = reset_peak ()
  fid = fopen ('/proc/self/clear_refs', 'w');
  ok = fid >= 0;
  if (ok)
    ok = fprintf (fid, '5') == 1;
    ok = fclose (fid) == 0 && ok;
  end
  rss = status_bytes ('VmRSS');
end
% SPDX-License-Identifier: BSD-3-Clause
