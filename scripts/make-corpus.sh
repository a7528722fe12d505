#!/usr/bin/env bash
# Makes the accuracy corpus under build/corpus from Debian's documentation packages:
#   scripts/make-corpus.sh [make_corpus.py options...]   (e.g. --per-case 500, --offline)
# The packages are fetched with apt-get download into build/corpus-cache (kept for the next
# run) and unpacked there; nothing is installed. See tools/make_corpus.py.
set -euo pipefail
cd "$(dirname "$0")/.."
for tool in python3 dpkg-deb apt-get apt-cache; do
  command -v "$tool" >/dev/null || { echo "make-corpus: $tool is missing (run scripts/setup.sh)" >&2; exit 1; }
done
# apt-get download needs the package lists; a fresh machine may not have them yet.
if [[ " $* " != *" --offline "* ]] && ! apt-cache policy manpages-ru 2>/dev/null | grep -q 'Candidate: [0-9]'; then
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO=sudo
  echo "make-corpus: apt-get update" >&2
  $SUDO apt-get update -qq
fi
exec python3 tools/make_corpus.py "$@"
