datadir=%RMHUB:DBDIR%
bind-address=%RMHUB:MYSQLIP%
port=%RMHUB:MYSQLPRT%
basedir=%RMHUB:BASEDIR%
srv=%RMHUB:SRVDIR%
