# Web server configuration, filled in by the launcher at every start.
ServerRoot "%RMHUB:SRVDIR%Apache"
DefaultRuntimeDir "%RMHUB:RTDIR%"
PidFile "%RMHUB:RTDIR%httpd.pid"
Listen %RMHUB:PORT%
ServerName %RMHUB:HOST%:%RMHUB:PORT%

LoadModule mpm_prefork_module modules/mod_mpm_prefork.so
LoadModule authz_core_module modules/mod_authz_core.so
LoadModule mime_module modules/mod_mime.so
LoadModule dir_module modules/mod_dir.so
LoadModule env_module modules/mod_env.so
LoadModule php_module modules/libphp8.2.so

StartServers 2
MinSpareServers 1
MaxSpareServers 3

ErrorLog "%RMHUB:RTDIR%apache_error.log"
LogFormat "%h %l %u %t \"%r\" %>s %b" common
CustomLog "%RMHUB:RTDIR%apache_access.log" common
TypesConfig /etc/mime.types

DocumentRoot "%RMHUB:DOCROOT%"
<Directory "%RMHUB:DOCROOT%">
    Require all granted
</Directory>
DirectoryIndex index.php index.html
<FilesMatch "\.php$">
    SetHandler application/x-httpd-php
</FilesMatch>
PassEnv TRH_EDITION TRH_SERVER_SOFTWARE TRH_SERVER_APPROOT TRH_SERVER_DOCROOT TRH_DB_PATH TRH_TEMP_FOLDER TRH_APACHE_PORT TRH_BASE_URL TRH_MYSQL_PORT
