Listen %RMHUB:PORT%
ServerName %RMHUB:HOST%:%RMHUB:PORT%
%RMHUB:%RMHUB:PORT%PORT%%
%rmhub:port%
