# Shared by the flows that run a desktop session (sway, GNOME Shell, KWin) and by lib.sh.

# write_bus_config FILE FOLDER: a session bus configuration that listens in FOLDER and whose only
# service folder is FOLDER/services (empty unless the flow puts a service there): the bus starts
# nothing the machine has installed, such as another desktop's portal backend or a keyring.
write_bus_config() {
  mkdir -p "$2/services"
  cat >"$1" <<CONF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <keep_umask/>
  <listen>unix:tmpdir=$2</listen>
  <auth>EXTERNAL</auth>
  <servicedir>$2/services</servicedir>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
CONF
}

# session_user FOLDER: as root, hands FOLDER to the tests' own ordinary user (added once) and
# sets as_user to the command prefix that runs as that user; otherwise as_user stays empty.
# Compositors refuse to run as root.
session_user() {
  as_user=()
  [ "$(id -u)" = 0 ] || return 0
  user=vistrel-e2e
  id "$user" >/dev/null 2>&1 || useradd --system --no-create-home --shell /bin/bash "$user" ||
    { echo "FAIL: cannot add the session's user"; exit 1; }
  # What an earlier flow left running as this user (a compositor that outlived a failed run)
  # would answer in place of this flow's own; nothing else runs as the tests' user, and the
  # flows run one at a time.
  pkill -KILL -u "$user" 2>/dev/null && sleep 0.5
  chown -R "$user" "$1"
  chmod 755 "$1"
  as_user=(runuser -u "$user" --)
}
