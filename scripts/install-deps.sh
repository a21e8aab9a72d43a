# Installs with apt-get what building and testing need, when it is not there yet. Sourced by the other
# scripts; `install_deps [suite ...]` takes the suites about to run.

install_deps() {
  local want_wine=0 s
  for s in "$@"; do
    case $s in win64 | win32) want_wine=1 ;; esac
  done
  local pkgs=(cmake g++ clang make pkgconf googletest libgtest-dev libbenchmark-dev libxerces-c-dev binutils)
  if [ $want_wine = 1 ]; then
    pkgs+=(mingw-w64 g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix wine wine64 wine32:i386)
  fi
  # The Turkish locale, whose dotted and dotless i the name index must allow for, is compiled below.
  locale -a 2>/dev/null | grep -qix 'tr_TR.utf8' || pkgs+=(locales)
  local missing=() p
  for p in "${pkgs[@]}"; do
    dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
  done
  local sudo=""
  [ "$(id -u)" -eq 0 ] || sudo=sudo
  if [ ${#missing[@]} -eq 0 ]; then
    install_turkish_locale
    return 0
  fi
  echo "==== installing: ${missing[*]}"
  if [ $want_wine = 1 ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
    $sudo dpkg --add-architecture i386
  fi
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
  install_turkish_locale
}

# A test of the name index runs only where tr_TR.UTF-8 exists; without it the test is skipped, not failed,
# so a failure to make it here only costs that test.
install_turkish_locale() {
  locale -a 2>/dev/null | grep -qix 'tr_TR.utf8' && return 0
  echo "==== compiling the locale tr_TR.UTF-8"
  $sudo localedef -i tr_TR -c -f UTF-8 tr_TR.UTF-8 || echo "could not compile tr_TR.UTF-8; its test will be skipped"
}
