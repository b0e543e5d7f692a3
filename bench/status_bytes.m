% status_bytes (key) - a "VmRSS" or "VmHWM" value of /proc/self/status, in
% bytes.
function bytes = status_bytes (key)
  status = fileread ('/proc/self/status');
  kb = regexp (status, [key ':\s*(\d+)'], 'tokens', 'once');
  bytes = str2double (kb{1}) * 1024;
end
% SPDX-License-Identifier: BSD-3-Clause
