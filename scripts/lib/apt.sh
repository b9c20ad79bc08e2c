# Sourced by the set-up scripts. apt_update runs "apt-get update" with the
# arguments given and retries it when an index fails to download: Debian's
# mirrors are sometimes caught mid-sync ("File has unexpected size ... Mirror
# sync in progress?"), a fault of the archive that clears within minutes.
# After the last try it goes on with the indexes that did arrive (apt keeps
# older ones where it had them); an install that then lacks a package fails
# with apt's own message.
apt_update() { # command-prefix... (e.g. "sudo apt-get" or "env APT_CONFIG=x apt-get")
  local try wait=15
  for try in 1 2 3 4; do
    if "$@" update -qq; then return 0; fi
    if [ "$try" -eq 4 ]; then
      echo "apt: index download still failing after $try tries (archive mirror out of sync); going on with the indexes that arrived" >&2
      return 0
    fi
    echo "apt: index download failed, likely an archive mirror caught mid-sync (infrastructure fault); retry $try of 3 in $wait s" >&2
    sleep "$wait"
    wait=$((wait * 2))
  done
}
