function post_install (desc)
  % Moves vorlex.m and vorlex_matelement.m, the comments help shows, beside
  % their MEX files: Octave reads a MEX file's help from the .m file of its
  % name in its own folder (pkg's help index too, which warns without it).
  found = dir (fullfile (desc.archprefix, '*', 'vorlex.mex'));
  if (isempty (found))
    error ('vorlex:install:noModule', 'vorlex.mex was not installed under %s', desc.archprefix);
  end
  movefile (fullfile (desc.dir, 'vorlex.m'), found(1).folder);
  movefile (fullfile (desc.dir, 'vorlex_matelement.m'), found(1).folder);
end
% SPDX-License-Identifier: BSD-3-Clause
