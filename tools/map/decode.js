// SPDX-License-Identifier: MIT
// Decodes the Natural Earth country borders shipped in world-atlas (TopoJSON)
// and prints the countries that reach into the wider European window as a
// GeoJSON FeatureCollection on stdout. mapgen.py runs this and does the rest.
//
// usage: node decode.js [10m|50m|110m]
'use strict';

const path = require('path');
const topojson = require('topojson-client');

const resolution = process.argv[2] || '10m';
if (!['10m', '50m', '110m'].includes(resolution)) {
  console.error(`unknown resolution ${resolution}`);
  process.exit(2);
}
const topology = require(path.join(__dirname, 'node_modules', 'world-atlas',
  `countries-${resolution}.json`));

// Generous lon/lat box around the map; mapgen.py clips precisely later.
const WEST = -45, EAST = 95, SOUTH = 15, NORTH = 89;

function touchesWindow(geometry) {
  const polygons = geometry.type === 'Polygon' ? [geometry.coordinates] : geometry.coordinates;
  for (const polygon of polygons) {
    for (const [lon, lat] of polygon[0]) {
      if (lon >= WEST && lon <= EAST && lat >= SOUTH && lat <= NORTH) return true;
    }
  }
  return false;
}

const all = topojson.feature(topology, topology.objects.countries);
const features = all.features
  .filter((f) => f.geometry && touchesWindow(f.geometry))
  .map((f) => ({
    type: 'Feature',
    id: f.id === undefined ? null : f.id,
    properties: { name: f.properties.name },
    geometry: f.geometry,
  }));

process.stdout.write(JSON.stringify({ type: 'FeatureCollection', features }));
