function vorlex_build (varargin)
  % vorlex_build builds vorlex and vorlex_matelement with mex, from the
  % sources in src/ beside this file, into one folder that alone goes on the
  % path (the MEX files, vorlex.m with the help, and the function files).
  %
  %   vorlex_build ()                          finds libpq and libpqtypes through
  %                                            pkg-config or pg_config (Linux, macOS)
  %   vorlex_build ('outdir', folder)          writes there instead of build-mex/
  %   vorlex_build ('include', {folders}, 'lib', {folders})
  %                                            names the folders of libpq-fe.h,
  %                                            libpqtypes.h and their libraries
  %                                            (Windows, or any other layout)
  %
  % MATLAB links the MEX-only host backend (src/backend/mex/: documented
  % MEX/MX functions only); Octave, whose mex is mkoctfile --mex, its own
  % (src/backend/octave/: Ctrl-C reaches waits on the server).  On Debian the
  % libraries come from the packages libpq-dev and libpqtypes-dev.
  root = fileparts (mfilename ('fullpath'));
  options = buildOptions (root, varargin);
  inOctave = exist ('OCTAVE_VERSION', 'builtin') ~= 0;
  if (isempty (options.include) && isempty (options.lib))
    [options.include, options.lib] = clientLibraryFolders ();
  end
  if (~exist (options.outdir, 'dir'))
    mkdir (options.outdir);
  end
  generated = writeVersionHeader (root, options.outdir);

  flags = [strcat('-I', {fullfile(root, 'src'), generated}), strcat('-I', options.include), ...
           strcat('-L', options.lib)];
  if (isunix () && ~ismac ())
    % Only mexFunction is exported, as in the CMake build.
    flags{end + 1} = ['-Wl,--version-script=' fullfile(root, 'src', 'gateway', 'exports.map')];
  end
  if (inOctave)
    backend = 'octave';
    restore = cxx17ForOctave ();  %#ok<NASGU> (restores CXXFLAGS when cleared)
  elseif (ispc ())
    backend = 'mex';
    flags{end + 1} = 'COMPFLAGS=$COMPFLAGS /std:c++17';
  else
    backend = 'mex';
    flags{end + 1} = 'CXXFLAGS=$CXXFLAGS -std=c++17';
  end

  buildModule (inOctave, options.outdir, 'vorlex', sources (root, mainFolders (root, backend)), ...
               [flags, {'-lpqtypes', '-lpq'}]);
  buildModule (inOctave, options.outdir, 'vorlex_matelement', ...
               sources (root, {'host', 'matfile'}), flags);
  functionFiles = dir (fullfile (root, 'inst', '*.m'));
  for k = 1:numel (functionFiles)
    copyfile (fullfile (root, 'inst', functionFiles(k).name), options.outdir);
  end
  fprintf ('vorlex_build: vorlex (%s host backend) in %s\n', backend, options.outdir);
end

function options = buildOptions (root, arguments)
  options = struct ('outdir', fullfile (root, 'build-mex'), 'include', {{}}, 'lib', {{}});
  if (mod (numel (arguments), 2) ~= 0)
    error ('vorlex:build:arguments', 'vorlex_build takes name, value pairs');
  end
  for k = 1:2:numel (arguments)
    name = arguments{k};
    if (~ischar (name) || ~isfield (options, name))
      error ('vorlex:build:arguments', 'vorlex_build knows outdir, include and lib');
    end
    value = arguments{k + 1};
    if (~strcmp (name, 'outdir') && ischar (value))
      value = {value};
    end
    options.(name) = value;
  end
end

% libpq's folders from pkg-config, else pg_config; libpqtypes is looked for in
% the same folders and the compiler's own.
function [include, lib] = clientLibraryFolders ()
  [status, text] = system ('pkg-config --variable=includedir libpq');
  [libStatus, libText] = system ('pkg-config --variable=libdir libpq');
  if (status ~= 0 || libStatus ~= 0)
    [status, text] = system ('pg_config --includedir');
    [libStatus, libText] = system ('pg_config --libdir');
  end
  if (status ~= 0 || libStatus ~= 0)
    error ('vorlex:build:clientLibraries', ...
           ['neither pkg-config nor pg_config finds libpq: install it (Debian: ', ...
            'sudo apt-get install libpq-dev libpqtypes-dev) or name its folders with ', ...
            'vorlex_build (''include'', {...}, ''lib'', {...})']);
  end
  include = {strtrim(text)};
  lib = {strtrim(libText)};
end

function generated = writeVersionHeader (root, outdir)
  version = strtrim (fileread (fullfile (root, 'VERSION')));
  parts = regexp (version, '^(\d+)\.(\d+)\.(\d+)$', 'tokens', 'once');
  if (isempty (parts))
    error ('vorlex:build:version', 'VERSION holds ''%s'', not MAJOR.MINOR.PATCH', version);
  end
  text = fileread (fullfile (root, 'src', 'gateway', 'version.hpp.in'));
  names = {'@PROJECT_VERSION_MAJOR@', '@PROJECT_VERSION_MINOR@', '@PROJECT_VERSION_PATCH@'};
  for k = 1:3
    text = strrep (text, names{k}, parts{k});
  end
  generated = fullfile (outdir, 'generated');
  folder = fullfile (generated, 'gateway');
  if (~exist (folder, 'dir'))
    mkdir (folder);
  end
  file = fopen (fullfile (folder, 'version.hpp'), 'w');
  fwrite (file, text);
  fclose (file);
end

% The folders of the module vorlex, as src/folders.txt lists them (one a
% line, # for comments), with the host backend's subfolder of backend/.
function folders = mainFolders (root, backend)
  text = fileread (fullfile (root, 'src', 'folders.txt'));
  folders = regexp (text, '^[a-z]+', 'match', 'lineanchors');
  folders(strcmp (folders, 'backend')) = {fullfile('backend', backend)};
end

function files = sources (root, folders)
  files = {};
  for k = 1:numel (folders)
    found = dir (fullfile (root, 'src', folders{k}, '*.cpp'));
    files = [files, strcat([fullfile(root, 'src', folders{k}) filesep], {found.name})];  %#ok<AGROW>
  end
end

function buildModule (inOctave, outdir, name, files, flags)
  if (inOctave)
    output = {'-o', fullfile(outdir, [name '.mex'])};
  else
    output = {'-outdir', outdir, '-output', name};
  end
  mex (flags{:}, output{:}, files{:});
end

% Octave's mex compiles with mkoctfile's CXXFLAGS, read from the environment.
function restore = cxx17ForOctave ()
  previous = getenv ('CXXFLAGS');
  setenv ('CXXFLAGS', [strtrim(mkoctfile ('-p', 'CXXFLAGS')) ' -std=c++17']);
  restore = onCleanup (@() setenv ('CXXFLAGS', previous));
end
% SPDX-License-Identifier: BSD-3-Clause
