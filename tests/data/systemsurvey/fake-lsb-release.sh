#!/bin/sh
# Stands in for the distribution's release program: padded output, a zero byte in the release.
case "$1 $2" in
"-s -i") printf '  Debian\t  GNU/Linux \n' ;;
"-s -r") printf '12\000ignored after the zero byte\n' ;;
*) exit 1 ;;
esac
