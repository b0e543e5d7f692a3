function run_octave_test (file)
  % Runs the test blocks of one test file and exits with a failure status if
  % any of them fails (or if the file holds none).
  [passed, total] = test (file, 'quiet', stdout);
  printf ('%s: %d of %d passed\n', file, passed, total);
  if (total == 0 || passed ~= total)
    exit (1);
  end
end
% SPDX-License-Identifier: BSD-3-Clause
