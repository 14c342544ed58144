#!/bin/sh
# Makes one build of the GNOME Shell extension from shell.js:
#   build-extension.sh legacy  OUTDIR   GNOME 43 and 44 (imports.gi)
#   build-extension.sh modules OUTDIR   GNOME 45 and later (ES modules)
# OUTDIR receives extension.js and metadata.json.
set -eu
here=$(dirname "$0")
variant=$1
out=$2
uuid=pivorel@morvale.com
mkdir -p "$out"
case "$variant" in
legacy)
    versions='"43", "44"'
    {
        echo "'use strict';"
        echo "const {Clutter, Gio, GLib, Meta, Shell} = imports.gi;"
        echo "const Main = imports.ui.main;"
        echo
        cat "$here/shell.js"
        cat <<'JS'

let shell = null;

function init() {}

function enable() {
    shell = new PivorelShell();
    shell.enable();
}

function disable() {
    shell.disable();
    shell = null;
}
JS
    } >"$out/extension.js.tmp"
    ;;
modules)
    versions='"45", "46", "47", "48", "49"'
    {
        echo "import Clutter from 'gi://Clutter';"
        echo "import Gio from 'gi://Gio';"
        echo "import GLib from 'gi://GLib';"
        echo "import Meta from 'gi://Meta';"
        echo "import Shell from 'gi://Shell';"
        echo "import * as Main from 'resource:///org/gnome/shell/ui/main.js';"
        echo "import {Extension} from 'resource:///org/gnome/shell/extensions/extension.js';"
        echo
        cat "$here/shell.js"
        cat <<'JS'

export default class PivorelExtension extends Extension {
    enable() {
        this._shell = new PivorelShell();
        this._shell.enable();
    }

    disable() {
        this._shell.disable();
        this._shell = null;
    }
}
JS
    } >"$out/extension.js.tmp"
    ;;
*)
    echo "build-extension.sh: unknown build '$variant' (legacy or modules)" >&2
    exit 2
    ;;
esac
mv "$out/extension.js.tmp" "$out/extension.js"
cat >"$out/metadata.json" <<JSON
{
  "uuid": "$uuid",
  "name": "Pivorel",
  "description": "Tells Pivorel what you select in Wayland applications, so its bar of next steps appears beside the text.",
  "url": "https://pivorel.app",
  "shell-version": [$versions]
}
JSON
