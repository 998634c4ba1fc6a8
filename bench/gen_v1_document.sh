#!/usr/bin/env bash
# Writes a version-1 document for timing readers and checkers on large
# files: N intakes, decoders, encoders and streams, N/10 servers (at least
# one), every entry named, and every stream naming its own intake and
# encoder and one of the servers. Each decoder serves one extension of its
# own. The document reads without a message, and every reference in it
# names an entry of the document.
#
# With -s, the document is N servers, each with the name, host name and
# password the checker asks of every server, one to a line (about 80 bytes),
# and nothing else but the one stream (with its intake and encoder) without
# which the checker refuses it: the shape of a configuration that lists many
# servers.
#
# Usage: bench/gen_v1_document.sh [-s] N > FILE
# The reader warns about a world-readable file: chmod 600 FILE before timing.
set -eu
usage() {
    echo "usage: $0 [-s] N" >&2
    exit 2
}
servers_only=0
while getopts s opt; do
    case $opt in
    s) servers_only=1 ;;
    *) usage ;;
    esac
done
shift $((OPTIND - 1))
if [ $# -ne 1 ] || ! [[ $1 =~ ^[1-9][0-9]*$ ]]; then
    usage
fi

if [ $servers_only = 1 ]; then
    awk -v n="$1" 'BEGIN {
        print "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
        print "<onyxcast>"
        print "  <servers>"
        for (i = 0; i < n; i++)
            printf "    <server><name>s%d</name><hostname>h%d</hostname><password>p</password></server>\n", i, i
        print "  </servers>"
        print "  <streams>"
        print "    <stream>"
        print "      <name>stream-0</name>"
        print "      <intake>intake-0</intake>"
        print "      <server>s0</server>"
        print "      <format>Ogg</format>"
        print "      <encoder>encoder-0</encoder>"
        print "    </stream>"
        print "  </streams>"
        print "  <intakes>"
        print "    <intake>"
        print "      <name>intake-0</name>"
        print "      <type>playlist</type>"
        print "      <filename>/srv/radio/playlist.m3u</filename>"
        print "    </intake>"
        print "  </intakes>"
        print "  <encoders>"
        print "    <encoder>"
        print "      <name>encoder-0</name>"
        print "      <format>Ogg</format>"
        print "      <program>oggenc -r -q 4 -t @t@ -a @a@ -</program>"
        print "    </encoder>"
        print "  </encoders>"
        print "</onyxcast>"
    }'
    exit 0
fi

awk -v n="$1" 'BEGIN {
    servers = int(n / 10)
    if (servers < 1)
        servers = 1
    split("Ogg MP3 WebM Matroska", format, " ")

    print "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
    print ""
    print "<onyxcast>"
    print ""
    print "  <servers>"
    for (i = 0; i < servers; i++) {
        print "    <server>"
        printf "      <name>server-%d</name>\n", i
        print "      <protocol>http</protocol>"
        printf "      <hostname>stream%d.example.org</hostname>\n", i
        printf "      <port>%d</port>\n", 8000 + i % 1000
        print "      <password>hackme</password>"
        print "      <reconnect_attempts>10</reconnect_attempts>"
        print "    </server>"
    }
    print "  </servers>"
    print ""
    print "  <streams>"
    for (i = 0; i < n; i++) {
        print "    <stream>"
        printf "      <name>stream-%d</name>\n", i
        printf "      <mountpoint>/radio%d.ogg</mountpoint>\n", i
        printf "      <intake>intake-%d</intake>\n", i
        printf "      <server>server-%d</server>\n", i % servers
        print "      <public>yes</public>"
        printf "      <format>%s</format>\n", format[i % 4 + 1]
        printf "      <encoder>encoder-%d</encoder>\n", i
        print "      <stream_name>Harbour Radio</stream_name>"
        print "      <stream_genre>Jazz &amp; Blues</stream_genre>"
        print "    </stream>"
    }
    print "  </streams>"
    print ""
    print "  <intakes>"
    for (i = 0; i < n; i++) {
        print "    <intake>"
        printf "      <name>intake-%d</name>\n", i
        print "      <type>playlist</type>"
        printf "      <filename>/srv/radio/playlist%d.m3u</filename>\n", i
        print "      <shuffle>yes</shuffle>"
        print "    </intake>"
    }
    print "  </intakes>"
    print ""
    print "  <decoders>"
    for (i = 0; i < n; i++) {
        print "    <decoder>"
        printf "      <name>decoder-%d</name>\n", i
        print "      <program>ffmpeg -loglevel quiet -i @T@ -f s16le -</program>"
        printf "      <file_ext>.x%d</file_ext>\n", i
        print "    </decoder>"
    }
    print "  </decoders>"
    print ""
    print "  <encoders>"
    for (i = 0; i < n; i++) {
        print "    <encoder>"
        printf "      <name>encoder-%d</name>\n", i
        printf "      <format>%s</format>\n", format[i % 4 + 1]
        print "      <program>oggenc -r -q 4 -t @t@ -a @a@ -</program>"
        print "    </encoder>"
    }
    print "  </encoders>"
    print "</onyxcast>"
}'
