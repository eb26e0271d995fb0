# Sourced by the Wine scripts: the prefix, quiet defaults, and the loader for this host
# ($SETUP_WINE): Debian's "wine" front end where 32-bit programs run, Wine's 64-bit loader otherwise
# (the front end would pick the 32-bit one, which such a kernel cannot start).
here=${here:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}
export WINEPREFIX=${WINEPREFIX:-$here/build/wineprefix}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
export WINEARCH=${WINEARCH:-win64}
if [ "$("$here/tools/host-arch.sh")" = i686 ]; then
  SETUP_WINE=wine
else
  SETUP_WINE=/usr/lib/wine/wine64
  export WINELOADER=$SETUP_WINE
fi
