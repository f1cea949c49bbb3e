#!/usr/bin/env node
// Copies the browser libraries the map pages load from node_modules into www/, so that www/ is
// complete on its own: the viewer's loopback server and any static web server serve it as it is.
// Run by npm after every install (postinstall); safe to run again.
'use strict';

const fs = require('fs');
const path = require('path');

const top = path.resolve(__dirname, '..');
const modules = path.join(top, 'node_modules');
const libDir = path.join(top, 'www', 'corvana_mapview', 'lib');

// [package, file or folder inside the package, destination inside lib/]
const copies = [
  ['leaflet', 'dist/leaflet.js', 'leaflet/leaflet.js'],
  ['leaflet', 'dist/leaflet.css', 'leaflet/leaflet.css'],
  ['leaflet', 'dist/images', 'leaflet/images'],
  ['leaflet', 'LICENSE', 'leaflet/LICENSE'],
  ['topojson-client', 'dist/topojson-client.min.js', 'topojson-client/topojson-client.min.js'],
  ['topojson-client', 'LICENSE', 'topojson-client/LICENSE'],
  ['world-atlas', 'countries-50m.json', 'world-atlas/countries-50m.json'],
  ['world-atlas', 'LICENSE', 'world-atlas/LICENSE'],
];

function copy(from, to) {
  const st = fs.statSync(from);
  if (st.isDirectory()) {
    fs.mkdirSync(to, { recursive: true });
    for (const name of fs.readdirSync(from)) copy(path.join(from, name), path.join(to, name));
  } else {
    fs.mkdirSync(path.dirname(to), { recursive: true });
    fs.copyFileSync(from, to);
  }
}

// Start from an empty lib/ so that a file dropped from the list does not linger.
fs.rmSync(libDir, { recursive: true, force: true });
let failed = false;
for (const [pkg, inside, dest] of copies) {
  const from = path.join(modules, pkg, inside);
  if (!fs.existsSync(from)) {
    console.error(`copy-libs: ${pkg}/${inside} is missing; run "npm ci" in ${top}`);
    failed = true;
    continue;
  }
  copy(from, path.join(libDir, dest));
}
process.exit(failed ? 1 : 0);
