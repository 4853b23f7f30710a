#!/bin/sh
# Doxygen input filter for include/knotwork.h: the header keeps plain C comments;
# this turns them into documentation comments on the fly. A comment opening a
# line documents the declaration after it, a comment after a field or constant
# documents that member, and section banners ("/* ---- ... ---- */") stay plain.
# The first comment is the file's description.
sed -e '1s|^/\* |/** @file\n * |' \
    -e '/^[[:space:]]*\/\* ---/b' \
    -e 's|^\([[:space:]]*\)/\* |\1/** |' \
    -e 's|^\([[:space:]]*\)/\*$|\1/**|' \
    -e 's|\([^[:space:]/][^/]*[;,{]\)\([[:space:]]*\)/\* |\1\2/**< |' \
    -e 's|^\(#define [A-Za-z_0-9]* .*[^[:space:]]\)\([[:space:]]*\)/\* |\1\2/**< |' "$1"
