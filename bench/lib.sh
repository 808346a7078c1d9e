# Shared by the benchmark scripts: a 1920×1080 Xvfb with a busy picture on it, and the app.
set -u
build=${1:-build}
bin=$build/src/vistrel
latency=$build/bench/vistrel_hotkey_latency
[ -x "$bin" ] && [ -x "$latency" ] || { echo "build first: $bin, $latency"; exit 1; }
tmp=$(mktemp -d)
pids=()
cleanup() { kill "${pids[@]}" 2>/dev/null; wait 2>/dev/null; rm -rf "$tmp"; }
trap cleanup EXIT

start_screen() {
  exec {fd}<> <(:)
  Xvfb -displayfd "$fd" -screen 0 1920x1080x24 -nolisten tcp >"$tmp/xvfb.log" 2>&1 &
  pids+=($!)
  read -r -t 10 -u "$fd" n || { echo "Xvfb did not start"; exit 1; }
  export DISPLAY=:$n
  convert -size 1920x1080 plasma:fractal "$tmp/busy.png" 2>/dev/null
  display -window root "$tmp/busy.png"
}

start_app() {
  "$bin" >"$tmp/vistrel.log" 2>&1 &
  app=$!
  pids+=($app)
  sleep 3
}
