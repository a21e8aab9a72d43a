#!/usr/bin/env bash
# Copyright 2026 The Tidings developers
# SPDX-License-Identifier: Apache-2.0

# Builds msvc_client.c as an MSVC project would (clang in MSVC ABI mode, lld-link, Tidings.lib) and runs
# it under Wine in a directory holding only the client, Tidings.dll and Config\; the example handler and
# tidings-msgcheck.exe (which then checks the saved file) each lie alone in a directory of their own.
#   run-msvc-client.sh <i686|x86_64> <include dir> <Tidings.lib> <Tidings.dll> <EchoHandler.dll> \
#                      <tidings-msgcheck.exe> <work dir>          (Wine's prefix: WINEPREFIX)
set -euo pipefail
[ $# -eq 7 ] || { echo "usage: $0 <arch> <include> <Tidings.lib> <Tidings.dll> <EchoHandler.dll> <msgcheck.exe> <work>" >&2; exit 2; }
arch=$1 work=$7
fail() { echo "FAILED: $arch MSVC client: $*" >&2; exit 1; }
rm -rf "$work"
mkdir -p "$work/app/Config" "$work/handler" "$work/check"
cp "$4" "$work/app/Tidings.dll"
cp "$5" "$work/handler/EchoHandler.dll"
cp "$6" "$work/check/tidings-msgcheck.exe"
"${CLANG:-clang}" --target="$arch-pc-windows-msvc" -ffreestanding -O1 -Wall -Wextra -Werror -I "$2" \
  -c "$(dirname "$0")/msvc_client.c" -o "$work/client.obj"
"${LLD_LINK:-lld-link}" /nologo /subsystem:console /nodefaultlib /entry:ClientEntry /out:"$work/app/client.exe" \
  "$work/client.obj" "$3"

msg_file=$work/app/Config/Msg.xml
cat >"$msg_file" <<EOF
<?xml version="1.0" encoding="UTF-8"?>
<Client><MsgList>
  <DefaultMsg><Message MsgSpan="System" MsgName="Welcome" MsgSInfo="Welcome" ShowType="0" ShowTime="30"/></DefaultMsg>
  <DynamicMsg><Message MsgSpan="Mail" MsgName="Inbox" MsgSInfo="Echo me" ShowType="1" ShowTime="5"
                       MsgEchoPath="$(winepath -w "$work/handler/EchoHandler.dll" 2>/dev/null)"/></DynamicMsg>
</MsgList></Client>
EOF
status=0
(cd "$work/app" && wine client.exe) || status=$?
[ "$status" -eq 0 ] || fail "check $status failed (see msvc_client.c)"
saved='<Message MsgSpan="Client" MsgName="Added" MsgSInfo="from an MSVC client" MsgEchoPath="" ShowType="3" ShowTime="25"/>'
grep -qF "$saved" "$msg_file" || { cat "$msg_file"; fail "the saved file lacks $saved"; }
[ "$(cat "$work/handler/EchoHandler.log" 2>/dev/null)" = $'Mail\tInbox\t7' ] || fail "the handler did not log the echo"
status=0
(cd "$work/check" && wine tidings-msgcheck.exe "$(winepath -w "$msg_file" 2>/dev/null)") >"$work/msgcheck.txt" || status=$?
[ "$status" -eq 0 ] || { cat "$work/msgcheck.txt"; fail "tidings-msgcheck.exe exited $status on the saved file"; }
echo "$arch MSVC client: every check held"
