#!/usr/bin/env bash
# The main job: a complete download and hand-over on this machine. It installs what is missing,
# builds the bootstrapper and the vendor tool, prepares a sample setup (an encrypted description,
# a few payload files and a final setup script that shows what it received), serves it from
# nginx on a loopback port, runs the bootstrapper as Install_PhotoTool_v2 and stops nginx.
# The window appears when a display is available, the terminal bar otherwise.
#
# DEMO_PORT (default 18080) picks the loopback port, BUILD_DIR (default build-demo) the build;
# KEEP_DEMO=1 keeps the sample setup folder for a look afterwards.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/deps.sh

port=${DEMO_PORT:-18080}
host=127.0.0.1:$port
build=${BUILD_DIR:-build-demo}

echo "== Building the bootstrapper for the download server $host"
cmake -S . -B "$build" -G Ninja -DSETUP_BUILD_TESTS=OFF -DSETUP_DEFAULT_HOST="$host" >/dev/null
cmake --build "$build" --target bootstrapper eiftool

if curl -s -o /dev/null --max-time 2 "http://$host/"; then
  echo "Something already answers on $host; pick another port with DEMO_PORT." >&2
  exit 1
fi

demo=$(mktemp -d /tmp/corvanel-demo-XXXXXX)
# nginx's workers may run as another user: the served tree must be readable by all.
chmod 755 "$demo"
www=$demo/www
mkdir -p "$www/downloads/Setups/PhotoTool" "$www/files" "$demo/nginx" "$demo/user" "$demo/tmp"

echo "== Preparing the sample setup in $demo"
# The payload: a package large enough to watch the bar move (nginx sends it at 1 MB/s) and a
# readme.
head -c 4000000 /dev/urandom >"$www/files/PhotoTool.pkg"
cat >"$www/files/readme.txt" <<'TEXT'
PhotoTool 2.0 - sample payload of the Corvanel setup downloader demo.
TEXT
# The final setup: shows where it runs, what it received and the user info file.
cat >"$www/files/setup.sh" <<'TEXT'
#!/bin/sh
echo
echo "== The final setup of PhotoTool is running"
echo "   folder:    $(pwd)"
echo "   arguments: $#"
echo "   files it received:"
ls -l | sed 's/^/     /'
echo "   the user info file (UTF-16LE, shown as UTF-8):"
iconv -f UTF-16 -t UTF-8 setupinfo.txt | sed 's/^/     /'
echo "== The final setup ends; the downloader now removes its working folder"
TEXT
cat >"$demo/SetupInitial.ini" <<TEXT
// The description of PhotoTool: where its files are and what runs at the end.
// The downloader takes a description on its server as present only when it has more than
// 1000 bytes, so a real description carries notes like these. The sites are tried in order
// with the first listed file; each file is fetched from the chosen site into the working
// folder, the user info file is written there, and the program to run is started in it.
// The downloader waits until that program has ended and then removes the working folder.
[Download Sites]
$host/files
[Files to download]
/PhotoTool.pkg -> PhotoTool.pkg
/readme.txt -> readme.txt
/setup.sh -> setup.sh
[User Info Filename]
setupinfo.txt
[Program to run]
setup.sh
[End]
End
TEXT
"$build/bin/eiftool" encrypt "$demo/SetupInitial.ini" "$www/downloads/Setups/PhotoTool/SetupInitial.eif"
chmod -R a+rX "$www"

cat >"$demo/nginx/nginx.conf" <<TEXT
worker_processes 1;
pid $demo/nginx/nginx.pid;
error_log $demo/nginx/error.log;
events { worker_connections 64; }
http {
  access_log $demo/nginx/access.log;
  client_body_temp_path $demo/nginx/body;
  proxy_temp_path $demo/nginx/proxy;
  fastcgi_temp_path $demo/nginx/fastcgi;
  uwsgi_temp_path $demo/nginx/uwsgi;
  scgi_temp_path $demo/nginx/scgi;
  default_type application/octet-stream;
  server {
    listen $host;
    root $www;
    location /files/ { limit_rate 1m; }
  }
}
TEXT

nginx_bin=$(command -v nginx || echo /usr/sbin/nginx)
"$nginx_bin" -p "$demo/nginx" -c "$demo/nginx/nginx.conf" -g 'daemon off;' 2>"$demo/nginx/stderr.log" &
nginx_pid=$!
finish() {
  remove_connection_stand_in
  kill "$nginx_pid" 2>/dev/null || true
  wait "$nginx_pid" 2>/dev/null || true
  if [ "${KEEP_DEMO:-0}" = 1 ]; then
    echo "== The sample setup stays in $demo"
  else
    rm -rf "$demo"
  fi
}
trap finish EXIT
. scripts/connection.sh
stand_in_for_a_connection
for _ in $(seq 50); do
  curl -s -o /dev/null "http://$host/files/readme.txt" && break
  sleep 0.1
done
echo "== nginx serves the setup on http://$host/"

cp "$build/bin/bootstrapper" "$demo/user/Install_PhotoTool_v2"
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  echo "== Running $demo/user/Install_PhotoTool_v2 (with its window)"
else
  echo "== Running $demo/user/Install_PhotoTool_v2 (no display: the progress bar is drawn here)"
fi
export TMPDIR=$demo/tmp
status=0
"$demo/user/Install_PhotoTool_v2" || status=$?
echo
echo "== The bootstrapper ended with exit code $status"
if [ -d "$TMPDIR/Corvanel/PhotoToolSetup" ]; then
  echo "   its working folder is still there: $TMPDIR/Corvanel/PhotoToolSetup"
else
  echo "   its working folder $TMPDIR/Corvanel/PhotoToolSetup has been removed"
fi
echo "   requests nginx answered:"
sed 's/^/     /' "$demo/nginx/access.log" | cut -c1-120
