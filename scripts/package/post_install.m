function post_install (desc)
  % Moves vorlex.m, the comments help vorlex shows, beside vorlex.mex: Octave
  % reads a MEX file's help from the .m file of its name in its own folder.
  found = dir (fullfile (desc.archprefix, '*', 'vorlex.mex'));
  if (isempty (found))
    error ('vorlex:install:noModule', 'vorlex.mex was not installed under %s', desc.archprefix);
  end
  movefile (fullfile (desc.dir, 'vorlex.m'), found(1).folder);
end
% SPDX-License-Identifier: BSD-3-Clause
