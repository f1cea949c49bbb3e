// The map pages under Node's test runner: each page's scripts run in the order its HTML gives
// them (the real mapview.js, the real topojson-client and world outline from www/; Leaflet
// replaced by a stand-in that keeps what would be drawn), and are driven with the exact script
// strings the viewer sends.
'use strict';

const test = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const path = require('node:path');
const vm = require('node:vm');
const { createFakeLeaflet } = require('./fake-leaflet');

const WWW = path.resolve(__dirname, '..', 'www');
const MAPDIR = path.join(WWW, 'corvana_mapview');
const PAGES = { google: 'google_map_world.html', naver: 'naver_map.html' };

// <script> and <link rel="stylesheet"> of a page, in document order.
function scriptsOf(html) {
  const out = [];
  const re = /<script(?:\s+src="([^"]+)")?\s*>([\s\S]*?)<\/script>/g;
  let m;
  while ((m = re.exec(html)) !== null) out.push({ src: m[1], code: m[2] });
  return out;
}

function stylesOf(html) {
  return Array.from(html.matchAll(/<link\s+rel="stylesheet"\s+href="([^"]+)"/g), (m) => m[1]);
}

function readFromPage(url) {
  const file = path.resolve(MAPDIR, url);
  if (!file.startsWith(WWW + path.sep)) throw new Error('outside www: ' + url);
  return fs.readFileSync(file, 'utf8');
}

// Loads a page as a browser would run it, with `search` as its query and `online` as the
// browser's idea of the network.
function loadPage(flavour, { search = '', online = true } = {}) {
  const file = PAGES[flavour];
  const html = fs.readFileSync(path.join(MAPDIR, file), 'utf8');
  const L = createFakeLeaflet();
  const bodyClasses = new Set();
  const sandbox = {
    console,
    URLSearchParams,
    location: { search },
    navigator: { onLine: online },
    document: { body: { classList: { add: (c) => bodyClasses.add(c) } } },
    fetch: (url) =>
      new Promise((resolve) => {
        let text = null;
        try {
          text = readFromPage(url);
        } catch (e) {
          resolve({ ok: false, status: 404, json: () => Promise.reject(new Error('404')) });
          return;
        }
        resolve({ ok: true, status: 200, json: () => Promise.resolve(JSON.parse(text)) });
      }),
  };
  sandbox.window = sandbox;
  const ctx = vm.createContext(sandbox);
  for (const s of scriptsOf(html)) {
    if (s.src === 'lib/leaflet/leaflet.js') {
      sandbox.L = L;
      continue;
    }
    const code = s.src ? readFromPage(s.src) : s.code;
    vm.runInContext(code, ctx, { filename: s.src || file });
  }
  return {
    L,
    map: L.maps[0],
    bodyClasses,
    // Runs one script string in the page, as the viewer's runJavaScript does.
    run: (js) => vm.runInContext(js, ctx),
    // Copies out of the page's realm, so that deepEqual compares plain values.
    calls: () => JSON.parse(JSON.stringify(ctx.__calls)),
    errors: () => JSON.parse(JSON.stringify(ctx.__errors)),
    state: () => JSON.parse(JSON.stringify(ctx.__mapState())),
    global: ctx,
  };
}

// Lets the page's pending promises (the outline fetch) settle.
const settle = () => new Promise((resolve) => setImmediate(resolve));

function tileLayerOf(page) {
  return Array.from(page.map.layers).find((l) => l instanceof page.L.classes.TileLayer);
}

function outlineOf(page) {
  return Array.from(page.map.layers).find((l) => l instanceof page.L.classes.GeoJSON);
}

// Three fixes of one recording and the start of another, as the viewer formats them.
const ROUTE = [
  { g: '37.552057, 126.976130', n: '37.552057, 126.976130', date: '2013/05/12', time: '08:30:15' },
  { g: '37.552300, 126.977010', n: '37.552300, 126.977010', date: '2013/05/12', time: '08:30:16' },
  { g: '37.552610, 126.978000', n: '37.552610, 126.978000', date: '2013/05/12', time: '08:30:17' },
];

// The scripts of one route load, in the order the viewer runs them.
function routeLoad(flavour) {
  const ll = (p) => (flavour === 'naver' ? `new NLatLng(${p.n})` : `new GLatLng(${p.g})`);
  return [
    'initWholeRoute()',
    `createContentMarker(${ll(ROUTE[0])}, 0, new Array('${ROUTE[0].date}', '${ROUTE[0].time}'))`,
    `createContentMarker(${flavour === 'naver' ? 'new NLatLng(35.179554, 129.075642)'
                                                : 'new GLatLng(35.179554, 129.075642)'}, 1, new Array('2013/05/13', '17:02:44'))`,
    'initSingleRoute()',
    'clearHomeMarker()',
    ...ROUTE.map((p, i) => `createMarker(${ll(p)}, ${i}, new Array('${p.date}', '${p.time}'))`),
    `setMapPosition(${ll(ROUTE[0])})`,
    'setCurrentPosition(0)',
    `setMapPosition(${ll(ROUTE[0])})`,
  ];
}

test('every file a page loads is in www/ (run "npm ci" in server/ first)', () => {
  for (const file of Object.values(PAGES)) {
    const html = fs.readFileSync(path.join(MAPDIR, file), 'utf8');
    const refs = [...scriptsOf(html).filter((s) => s.src).map((s) => s.src), ...stylesOf(html)];
    assert.ok(refs.includes('lib/leaflet/leaflet.js'), file);
    for (const ref of refs) {
      assert.ok(!/^[a-z]+:|^\/\//i.test(ref), `${file} loads ${ref} from elsewhere`);
      assert.ok(fs.existsSync(path.resolve(MAPDIR, ref)), `${file}: ${ref} is missing`);
    }
  }
  assert.ok(fs.existsSync(path.join(MAPDIR, 'lib/world-atlas/countries-50m.json')));
});

for (const flavour of ['google', 'naver']) {
  test(`${flavour} page: a route load is recorded exactly and drawn`, () => {
    const page = loadPage(flavour);
    const scripts = routeLoad(flavour);
    for (const s of scripts) page.run(s);
    assert.deepEqual(page.calls(), scripts);
    assert.deepEqual(page.errors(), []);

    const st = page.state();
    assert.equal(st.flavour, flavour);
    assert.deepEqual(st.starts.map((s) => [s.number, s.date, s.time]),
                     [[1, '2013/05/12', '08:30:15'], [2, '2013/05/13', '17:02:44']]);
    assert.deepEqual(st.starts[1].lat, 35.179554);
    assert.deepEqual(st.route, [[37.552057, 126.97613], [37.5523, 126.97701], [37.55261, 126.978]]);
    assert.deepEqual(st.current, { index: 0, lat: 37.552057, lng: 126.97613 });
    assert.deepEqual(st.center, { lat: 37.552057, lng: 126.97613 });
    assert.equal(st.zoom, 15, 'online, the route is shown at street level');
  });
}

test('the call record keeps only the last calls, however long the playback', () => {
  const page = loadPage('google');
  for (const s of routeLoad('google')) page.run(s);
  for (let i = 0; i < 3000; ++i) page.run(`setCurrentPosition(${i % 3})`);
  page.run('setMapPosition(new GLatLng(1.000000, 2.000000))');
  const calls = page.calls();
  assert.equal(calls.length, 64);
  assert.equal(calls[62], 'setCurrentPosition(2)');
  assert.equal(calls[63], 'setMapPosition(new GLatLng(1.000000, 2.000000))');
  assert.equal(page.state().current.index, 2, 'every call still takes effect');
});

test('only the flavour\'s own coordinate type exists', () => {
  const google = loadPage('google');
  const naver = loadPage('naver');
  assert.equal(typeof google.global.GLatLng, 'function');
  assert.equal(typeof google.global.NLatLng, 'undefined');
  assert.equal(typeof naver.global.NLatLng, 'function');
  assert.equal(typeof naver.global.GLatLng, 'undefined');
  // A call of the other flavour fails in the page, as a script error the viewer never sees.
  assert.throws(() => google.run('setMapPosition(new NLatLng(1, 2))'), /NLatLng is not defined/);
  assert.deepEqual(google.calls(), []);
});

test('the current position follows playback and the map stays centred on it', () => {
  const page = loadPage('google');
  for (const s of routeLoad('google')) page.run(s);
  page.map.setZoom(12); // the user zoomed out

  for (const [i, p] of ROUTE.entries()) {
    page.run(`setCurrentPosition(${i})`);
    page.run(`setMapPosition(new GLatLng(${p.g}))`);
    const st = page.state();
    const [lat, lng] = p.g.split(', ').map(Number);
    assert.deepEqual(st.current, { index: i, lat, lng });
    assert.deepEqual(st.center, { lat, lng });
    assert.equal(st.zoom, 12, 'following the position keeps the user\'s zoom');
  }
  // A fix the page was never given changes nothing.
  page.run('setCurrentPosition(7)');
  assert.equal(page.state().current.index, 2);
  assert.deepEqual(page.errors(), []);
});

test('clearing: clearHomeMarker, initSingleRoute and initWholeRoute', () => {
  const page = loadPage('google');
  for (const s of routeLoad('google')) page.run(s);

  page.run('clearHomeMarker()');
  assert.equal(page.state().current, null);
  assert.equal(page.state().route.length, 3);

  page.run('setCurrentPosition(1)');
  page.run('initSingleRoute()');
  let st = page.state();
  assert.deepEqual([st.route, st.fixes, st.current], [[], 0, null]);
  assert.equal(st.starts.length, 2, 'the recordings\' starts stay');

  page.run("createMarker(new GLatLng(10.000000, 20.000000), 0, new Array('a', 'b'))");
  page.run('setMapPosition(new GLatLng(10.000000, 20.000000))');
  assert.equal(page.state().zoom, 15, 'a new route is framed afresh');

  page.run('initWholeRoute()');
  st = page.state();
  assert.deepEqual([st.starts, st.route, st.current], [[], [], null]);
});

test('the trip\'s route: drawn, the map fitted to it and kept while the position follows; cleared', () => {
  for (const flavour of ['google', 'naver']) {
    const page = loadPage(flavour);
    const ll = flavour === 'naver' ? 'NLatLng' : 'GLatLng';
    for (const s of routeLoad(flavour)) page.run(s);
    page.run(`showTripRoute(new Array(new ${ll}(37.500000, 127.000000), new ${ll}(99.000000, 0.000000), ` +
             `new ${ll}(37.600000, 127.200000)))`);
    let st = page.state();
    assert.deepEqual(st.trip, [[37.5, 127], [37.6, 127.2]], 'a point off the globe is left out');
    assert.equal(st.route.length, 3, 'the recording\'s own route stays');
    assert.deepEqual(JSON.parse(JSON.stringify(page.map._bounds)), [[37.5, 127], [37.6, 127.2]]);
    const zoom = st.zoom;
    page.run(`setMapPosition(new ${ll}(${ROUTE[1][flavour === 'naver' ? 'n' : 'g']}))`);
    assert.equal(page.state().zoom, zoom, 'following the position keeps the trip in view');

    page.run('showTripRoute(new Array())');
    assert.deepEqual(page.state().trip, []);
    page.run(`showTripRoute(new Array(new ${ll}(37.500000, 127.000000)))`);
    page.run('initWholeRoute()');
    st = page.state();
    assert.deepEqual(st.trip, [], 'a new folder\'s routes start without the trip');
    assert.deepEqual(page.errors(), []);
  }
});

test('call texts are recorded as the viewer\'s C formatting writes them', () => {
  const page = loadPage('google');
  const scripts = [
    // A void fix: both coordinates are -0.0, "%f" keeps the sign.
    "createMarker(new GLatLng(-0.000000, -0.000000), 0, new Array(' ', ' '))",
    "createMarker(new GLatLng(-22.905000, -43.210000), 1, new Array('2014/01/02', '23:59:59'))",
    // Ties between two six-decimal numbers round to even, as printf does.
    'setMapPosition(new GLatLng(0.007812, 0.023438))',
    "createContentMarker(new GLatLng(1.000000, 2.000000), 3, new Array('it\\'s', 'a\\\\b'))",
  ];
  for (const s of scripts) page.run(s);
  page.run('setMapPosition(new GLatLng(0.0078125, 0.0234375))');
  assert.deepEqual(page.calls(), [...scripts, 'setMapPosition(new GLatLng(0.007812, 0.023438))']);
  const st = page.state();
  assert.deepEqual(st.starts[0].date, "it's");
  assert.deepEqual(st.starts[0].time, 'a\\b');
});

test('coordinates that are not a place are recorded and ignored', () => {
  const page = loadPage('google');
  const scripts = [
    "createMarker(new GLatLng(91.000000, 0.000000), 0, new Array('a', 'b'))",
    "createMarker(new GLatLng(0.000000, 180.500000), 1, new Array('a', 'b'))",
    'setMapPosition(new GLatLng(NaN, 3))',
    "createContentMarker(new GLatLng(Infinity, 0), 0, new Array('a', 'b'))",
  ];
  for (const s of scripts) page.run(s);
  assert.deepEqual(page.calls(), [scripts[0], scripts[1], 'setMapPosition(new GLatLng(nan, 3.000000))',
                                  "createContentMarker(new GLatLng(inf, 0.000000), 0, new Array('a', 'b'))"]);
  const st = page.state();
  assert.deepEqual([st.route, st.starts, st.zoom], [[], [], 2]);
  assert.deepEqual(page.errors(), []);
});

test('online: OpenStreetMap tiles over the world outline', async () => {
  const page = loadPage('google');
  const tiles = tileLayerOf(page);
  assert.ok(tiles, 'a tile layer');
  assert.match(tiles.url, /^https:\/\/tile\.openstreetmap\.org\/\{z\}\/\{x\}\/\{y\}\.png$/);
  assert.match(tiles.options.attribution, /OpenStreetMap/);
  await settle();
  const outline = outlineOf(page);
  assert.ok(outline, 'the outline is drawn too');
  assert.equal(outline.options.pane, 'outline');
  assert.ok(page.map.getPane('outline').style.zIndex < 200, 'beneath the tiles (Leaflet: 200)');

  // Tiles that load keep the page online, whatever errors follow.
  tiles.fire('tileload');
  tiles.fire('tileerror');
  assert.equal(page.state().offline, false);
  assert.ok(page.map.hasLayer(tiles));
});

test('offline but with tiles in the browser cache: the tiles stay', () => {
  const page = loadPage('google', { online: false });
  const tiles = tileLayerOf(page);
  assert.ok(tiles, 'tiles are asked for');
  tiles.fire('tileload');
  tiles.fire('tileerror');
  assert.equal(page.state().offline, false);
});

test('offline: without tiles the route is drawn over the bundled world outline', async () => {
  const cases = [
    { why: 'the first tiles fail', load: () => {
      const page = loadPage('google');
      tileLayerOf(page).fire('tileerror');
      return page;
    } },
    { why: 'the browser knows it is offline and no tile is in its cache', load: () => {
      const page = loadPage('google', { online: false });
      tileLayerOf(page).fire('tileerror');
      return page;
    } },
    { why: 'the page is asked for no tiles', load: () => loadPage('google', { search: '?tiles=none' }) },
  ];
  for (const c of cases) {
    const page = c.load();
    await settle();
    const st = page.state();
    assert.equal(st.offline, true, c.why);
    assert.equal(tileLayerOf(page), undefined, c.why);
    assert.ok(page.bodyClasses.has('offline'), c.why);
    assert.ok(st.outlineLoaded, c.why);
    const outline = outlineOf(page);
    // The real Natural Earth countries, decoded by the real topojson-client.
    assert.ok(outline.features.length > 200, c.why);
    const korea = outline.features.find((f) => f.properties && f.properties.name === 'South Korea');
    assert.ok(korea, c.why);

    for (const s of routeLoad('google')) page.run(s);
    const after = page.state();
    assert.equal(after.route.length, 3, c.why);
    assert.deepEqual(after.center, { lat: 37.552057, lng: 126.97613 }, c.why);
    assert.equal(after.zoom, 6, `${c.why}: the country around the route is shown`);
  }
});

test('a tile server given in the query replaces OpenStreetMap', () => {
  const page = loadPage('google', { search: '?tiles=' + encodeURIComponent('http://127.0.0.1:9/t/{z}/{x}/{y}.png') });
  assert.equal(tileLayerOf(page).url, 'http://127.0.0.1:9/t/{z}/{x}/{y}.png');
  assert.match(tileLayerOf(page).options.attribution, /OpenStreetMap/, 'OpenStreetMap data unless told otherwise');
  assert.equal(page.state().offline, false);
  const credited = loadPage('google', { search: '?tiles=' + encodeURIComponent('http://127.0.0.1:9/{z}/{x}/{y}.png') +
                                               '&attribution=' + encodeURIComponent('Tiles &copy; Example') });
  assert.equal(tileLayerOf(credited).options.attribution, 'Tiles &copy; Example');
});
