# Sourced (sh or bash): which Windows builds this machine can test under Wine.
# Sets and exports, unless already set for this run:
#   ZELK_WINE_MODE      both     - 32-bit code runs here: the 32-bit build under
#                                  Debian's 32-bit Wine, the 64-bit one under wine64;
#                       64-only  - it does not, the 32-bit Wine could not be
#                                  installed (tools/bootstrap.sh), or
#                                  KESTRELYN_NO_32BIT is set: only the 64-bit
#                                  build runs, under wine64.
#   ZELK_WINE_MODE_WHY  the reason, for reports.
# The probe is one run of the 32-bit dynamic loader: a few milliseconds, and
# "Exec format error" at once where the machine refuses 32-bit code.
if [ -z "${ZELK_WINE_MODE:-}" ]; then
  if [ -n "${KESTRELYN_NO_32BIT:-}" ]; then
    ZELK_WINE_MODE=64-only
    ZELK_WINE_MODE_WHY="forced by KESTRELYN_NO_32BIT=$KESTRELYN_NO_32BIT"
  elif ! /lib/ld-linux.so.2 --version >/dev/null 2>&1; then
    ZELK_WINE_MODE=64-only
    ZELK_WINE_MODE_WHY="this machine runs no 32-bit x86 code (/lib/ld-linux.so.2 fails)"
  elif [ ! -x "${ZELK_WINE32_LOADER:-/usr/lib/wine/wine}" ]; then
    # tools/bootstrap.sh keeps apt's reason when it could not install it.
    ZELK_WINE_MODE=64-only
    ZELK_WINE_MODE_WHY="the 32-bit Wine is not installed"
    _zelk_state=${KESTRELYN_BOOTSTRAP_STATE:-${ZELK_SOURCE_DIR:-.}/build/bootstrap-wine32.txt}
    if [ -s "$_zelk_state" ]; then
      ZELK_WINE_MODE_WHY="the 32-bit Wine could not be installed: $(head -1 "$_zelk_state")"
    fi
    unset _zelk_state
  else
    ZELK_WINE_MODE=both
    ZELK_WINE_MODE_WHY="this machine runs 32-bit x86 code"
  fi
  export ZELK_WINE_MODE ZELK_WINE_MODE_WHY
fi
