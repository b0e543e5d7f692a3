function on_uninstall (desc)
  % The module locks itself once loaded (its handles refer to its memory):
  % unlock and clear it, so that its library is closed before its files go
  % and a later install in this session loads the new one.  Names are looked
  % up from the folder of the MEX files, whether or not the package is loaded.
  found = dir (fullfile (desc.archprefix, '*', 'vorlex.mex'));
  if (isempty (found))
    return;
  end
  here = pwd ();
  cd (found(1).folder);
  for name = {'vorlex', 'vorlex_matelement'}
    if (mislocked (name{1}))
      munlock (name{1});
    end
    clear (name{1});
  end
  cd (here);
end
% SPDX-License-Identifier: BSD-3-Clause
