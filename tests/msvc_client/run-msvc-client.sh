#!/usr/bin/env bash
# Builds msvc_client.c as an MSVC project would (clang in MSVC ABI mode, lld-link, the import library
# Tidings.lib) and runs it under Wine in a directory that holds only the client, Tidings.dll and Config\;
# the example handler lies alone in a directory of its own, and tidings-msgcheck.exe alone in another
# checks the saved file. So each shipped module runs with nothing beside it.
#
#   run-msvc-client.sh <i686|x86_64> <include dir> <Tidings.lib> <Tidings.dll> <EchoHandler.dll> \
#                      <tidings-msgcheck.exe> <work dir>
#
# Exits 0 when the client's checks held, the saved Msg.xml holds the message it added, the handler logged
# the echo and the checker found the saved file clean. Wine's prefix comes from WINEPREFIX.
set -euo pipefail

[ $# -eq 7 ] || { echo "usage: $0 <arch> <include dir> <Tidings.lib> <Tidings.dll> <EchoHandler.dll> <msgcheck.exe> <work dir>" >&2; exit 2; }
arch=$1 include=$2 implib=$3 dll=$4 handler=$5 msgcheck=$6 work=$7
here=$(cd "$(dirname "$0")" && pwd)
fail() { echo "FAILED: $*" >&2; exit 1; }

rm -rf "$work"
mkdir -p "$work/obj" "$work/app/Config" "$work/handler" "$work/check"

"${CLANG:-clang}" --target="$arch-pc-windows-msvc" -ffreestanding -O1 -Wall -Wextra -Werror -I "$include" \
  -c "$here/msvc_client.c" -o "$work/obj/client.obj"
"${LLD_LINK:-lld-link}" /nologo /subsystem:console /nodefaultlib /entry:ClientEntry /out:"$work/app/client.exe" \
  "$work/obj/client.obj" "$implib"

cp "$dll" "$work/app/Tidings.dll"
cp "$handler" "$work/handler/EchoHandler.dll"
cp "$msgcheck" "$work/check/tidings-msgcheck.exe"
handler_path=$(winepath -w "$work/handler/EchoHandler.dll" 2>/dev/null)
cat >"$work/app/Config/Msg.xml" <<EOF
<?xml version="1.0" encoding="UTF-8"?>
<Client>
  <MsgList>
    <DefaultMsg>
      <Message MsgSpan="System" MsgName="Welcome" MsgSInfo="Welcome" MsgEchoPath="" ShowType="0" ShowTime="30"/>
    </DefaultMsg>
    <DynamicMsg>
      <Message MsgSpan="Mail" MsgName="Inbox" MsgSInfo="Echo me" MsgEchoPath="$handler_path" ShowType="1" ShowTime="5"/>
    </DynamicMsg>
  </MsgList>
</Client>
EOF

status=0
(cd "$work/app" && wine client.exe) || status=$?
[ "$status" -eq 0 ] || fail "$arch client: check $status failed (see msvc_client.c)"
expected='<Message MsgEchoPath="" MsgName="Added" MsgSInfo="from an MSVC client" MsgSpan="Client" ShowTime="25" ShowType="3"/>'
grep -qF "$expected" "$work/app/Config/Msg.xml" || { cat "$work/app/Config/Msg.xml"; fail "the saved file lacks $expected"; }
[ "$(cat "$work/handler/EchoHandler.log" 2>/dev/null)" = $'Mail\tInbox\t7' ] || fail "the handler did not log the echo"

status=0
(cd "$work/check" && wine tidings-msgcheck.exe "$(winepath -w "$work/app/Config/Msg.xml" 2>/dev/null)") >"$work/msgcheck.txt" ||
  status=$?
[ "$status" -eq 0 ] || { cat "$work/msgcheck.txt"; fail "tidings-msgcheck.exe exited $status on the saved file"; }
echo "$arch MSVC client: every check held"
