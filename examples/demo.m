% demo.m - loads vorlex, shows its banner and sends it a command.
%
% Run from the project folder after `make`:  octave-cli examples/demo.m
addpath (fullfile (fileparts (mfilename ('fullpath')), '..', 'build'));

vorlex ();   % no arguments: the banner

% Command names are matched ignoring case.
try
  vorlex ('CONNECT');
catch err
  printf ('vorlex(''CONNECT'') was dispatched to connect: %s\n  %s\n', ...
          err.identifier, err.message);
end
