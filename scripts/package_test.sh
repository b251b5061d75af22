#!/usr/bin/env bash
# Builds the Debian package from the build folder, unpacks it into a scratch root
# and runs the installed quorvant-cli on an installed example.
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls "$build"/quorvant_*_*.deb | head -n 1)
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg -x "$deb" "$root"
for f in usr/bin/quorvant usr/bin/quorvant-cli usr/lib/quorvant/quorvant-plot.so \
         usr/share/quorvant/help/index.html \
         usr/share/quorvant/examples/himmelblau.zvx usr/share/applications/quorvant.desktop \
         usr/share/icons/hicolor/scalable/apps/quorvant.svg usr/share/mime/packages/quorvant.xml \
         usr/share/man/man1/quorvant-cli.1; do
  [ -e "$root/$f" ] || { echo "package test: $f is missing from $deb" >&2; exit 1; }
done
dpkg-deb -f "$deb" Depends | grep -q 'libqt6widgets6' || { echo "package test: no Qt dependency declared" >&2; exit 1; }
# The programs' package brings no Open MPI along: quorvant-mpi has a package of its own.
if [ -e "$root/usr/bin/quorvant-mpi" ] || dpkg-deb -f "$deb" Depends | grep -q 'openmpi'; then
  echo "package test: $deb holds quorvant-mpi or depends on MPI" >&2
  exit 1
fi
caption=$("$root/usr/bin/quorvant-cli" --explore "$root/usr/share/quorvant/examples/himmelblau.zvx" | tail -n 1)
if [ "$caption" != "1 max. 4 min. " ]; then
  echo "package test: the installed quorvant-cli printed \"$caption\"" >&2
  exit 1
fi
# The plot is drawn offscreen without a desktop session: nothing but the picture, no
# notes from Qt about the session it has no use for.
plot_err=$(env -u XDG_RUNTIME_DIR "$root/usr/bin/quorvant-cli" --random 5 --plot "$root/plot.png" \
  "$root/usr/share/quorvant/examples/himmelblau.zvx" 2>&1 >/dev/null)
if [ -n "$plot_err" ] || [ ! -s "$root/plot.png" ]; then
  echo "package test: --plot wrote \"$plot_err\" to stderr, or no picture" >&2
  exit 1
fi
# quorvant-mpi: its own package when the build has MPI, depending on quorvant and Open
# MPI; unpacked over quorvant, a job of two ranks lists what quorvant-cli lists.
mpideb=$(ls "$build"/quorvant-mpi_*_*.deb 2>/dev/null | head -n 1 || true)
if [ -x "$build/src/cli/quorvant-mpi" ]; then
  [ -n "$mpideb" ] || { echo "package test: the build has MPI, but no quorvant-mpi package was made" >&2; exit 1; }
  dpkg -x "$mpideb" "$root"
  for f in usr/bin/quorvant-mpi usr/share/man/man1/quorvant-mpi.1; do
    [ -e "$root/$f" ] || { echo "package test: $f is missing from $mpideb" >&2; exit 1; }
  done
  depends=$(dpkg-deb -f "$mpideb" Depends)
  case "$depends" in
    *"quorvant (="*libopenmpi*|*libopenmpi*"quorvant (="*) ;;
    *) echo "package test: quorvant-mpi depends on \"$depends\"" >&2; exit 1 ;;
  esac
  asroot=""
  [ "$(id -u)" -eq 0 ] && asroot="--allow-run-as-root"
  mpicaption=$(OMPI_MCA_plm=isolated OMPI_MCA_btl=self,vader OMPI_MCA_rmaps_base_oversubscribe=1 \
    mpirun $asroot --oversubscribe -n 2 "$root/usr/bin/quorvant-mpi" --explore \
    "$root/usr/share/quorvant/examples/himmelblau.zvx" | tail -n 1)
  if [ "$mpicaption" != "1 max. 4 min. " ]; then
    echo "package test: the installed quorvant-mpi printed \"$mpicaption\"" >&2
    exit 1
  fi
  echo "package test: $(basename "$mpideb") installs beside quorvant and its job runs: 1 passed, 0 failed"
fi
# python3-quorvant comes along when the build has the Python package: unpacked, Debian's
# Python imports it from where the package puts it and finds Himmelblau's four minima.
pydeb=$(ls "$build"/python3-quorvant_*_*.deb 2>/dev/null | head -n 1 || true)
if grep -q '^QUORVANT_PYTHON:BOOL=ON' "$build/CMakeCache.txt" && [ -z "$pydeb" ]; then
  echo "package test: the build has the Python package, but no python3-quorvant package was made" >&2
  exit 1
fi
if [ -n "$pydeb" ]; then
  dpkg -x "$pydeb" "$root"
  minima=$(cd "$root" && PYTHONPATH="$root/usr/lib/python3/dist-packages" /usr/bin/python3 -c \
    'import quorvant; print(len(quorvant.explore(quorvant.Problem.load("usr/share/quorvant/examples/himmelblau.zvx")).minima))') || true
  if [ "$minima" != 4 ]; then
    echo "package test: the unpacked python3-quorvant found \"$minima\" minima" >&2
    exit 1
  fi
  echo "package test: $(basename "$pydeb") imports and runs: 1 passed, 0 failed"
fi
echo "package test: $(basename "$deb") installs, its quorvant-cli runs and draws: 2 passed, 0 failed"
