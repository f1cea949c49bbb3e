// The map page of the Pellister viewer. The viewer drives it with JavaScript calls, one script
// string each:
//   initWholeRoute()                                   forget every marker and route
//   createContentMarker(new GLatLng(lat, lon), b, new Array('date', 'time'))
//                                                      start of recording b (0-based list index)
//   initSingleRoute()                                  forget the current recording's route
//   clearHomeMarker()                                  remove the current-position marker
//   createMarker(new GLatLng(lat, lon), i, new Array('date', 'time'))
//                                                      fix i of the current recording's route
//   setCurrentPosition(i)                              current position: fix i
//   setMapPosition(new GLatLng(lat, lon))              centre the map there
//   showTripRoute(new Array(new GLatLng(lat, lon), ...))
//                                                      the whole trip's route, beneath the current
//                                                      recording's, the map fitted to it; an empty
//                                                      array removes it (initWholeRoute does too)
// The Naver flavour's page takes NLatLng instead of GLatLng.
//
// The map is drawn with Leaflet: OpenStreetMap tiles when they can be had, and always, beneath
// them, a world outline that ships with the page, so that a viewer without internet still shows
// where the car went. The last calls are recorded (window.__calls, each as the call's text, at
// most CALL_RECORD of them, so that a long playback does not grow the page) so that tests can see
// exactly what the viewer sent; window.__mapState() reports what is drawn.
'use strict';

(function (root) {
  const DEFAULT_TILES = 'https://tile.openstreetmap.org/{z}/{x}/{y}.png';
  const ATTRIBUTION = '&copy; <a href="https://www.openstreetmap.org/copyright">OpenStreetMap</a> contributors';
  const OUTLINE_URL = 'lib/world-atlas/countries-50m.json';
  const ROUTE_ZOOM_ONLINE = 15;  // street level, where the tiles show the roads
  const ROUTE_ZOOM_OFFLINE = 6;  // the outline has no roads; show the country around the route
  const WORLD_VIEW = { center: [20, 0], zoom: 2 };
  const CALL_RECORD = 64; // calls kept in window.__calls, the newest last

  // "%f" of the C library: six decimals, a negative zero keeps its sign, exact ties go to even.
  function fixed6(x) {
    if (Number.isNaN(x)) return 'nan';
    if (!Number.isFinite(x)) return x < 0 ? '-inf' : 'inf';
    const negative = x < 0 || Object.is(x, -0);
    const a = Math.abs(x);
    let text = a.toFixed(6);
    // A double lies exactly half-way between two six-decimal numbers only if it has at most
    // seven binary fraction digits; toFixed rounds such ties up, the C library to even.
    if (a < 2 ** 40 && Number.isInteger(a * 128)) {
      const scaled = a * 1e6; // exact here
      const low = Math.floor(scaled);
      if (scaled - low === 0.5) {
        const n = low % 2 === 0 ? low : low + 1;
        const digits = String(n).padStart(7, '0');
        text = digits.slice(0, -6) + '.' + digits.slice(-6);
      }
    }
    return (negative ? '-' : '') + text;
  }

  function quoted(text) {
    return "'" + String(text)
      .replace(/\\/g, '\\\\')
      .replace(/'/g, "\\'")
      .replace(/\n/g, '\\n')
      .replace(/\r/g, '\\r')
      .replace(/\u2028/g, '\\u2028')
      .replace(/\u2029/g, '\\u2029') + "'";
  }

  function LatLngType(name) {
    function LatLngCtor(lat, lng) {
      if (!(this instanceof LatLngCtor)) return new LatLngCtor(lat, lng);
      this.lat = Number(lat);
      this.lng = Number(lng);
    }
    LatLngCtor.prototype.toCallText = function () {
      return 'new ' + name + '(' + fixed6(this.lat) + ', ' + fixed6(this.lng) + ')';
    };
    Object.defineProperty(LatLngCtor, 'name', { value: name });
    return LatLngCtor;
  }

  // The text of one argument as the viewer writes it.
  function argText(v) {
    if (v && typeof v.toCallText === 'function') return v.toCallText();
    if (Array.isArray(v)) return 'new Array(' + v.map(argText).join(', ') + ')';
    if (typeof v === 'string') return quoted(v);
    return String(v);
  }

  function validLatLng(p) {
    return p && Number.isFinite(p.lat) && Number.isFinite(p.lng) &&
      Math.abs(p.lat) <= 90 && Math.abs(p.lng) <= 180;
  }

  function texts(t) {
    const a = Array.isArray(t) ? t : [];
    return { date: String(a[0] === undefined ? '' : a[0]).trim(),
             time: String(a[1] === undefined ? '' : a[1]).trim() };
  }

  function escapeHtml(s) {
    return String(s).replace(/[&<>"']/g, (c) => ({ '&': '&amp;', '<': '&lt;', '>': '&gt;',
                                                  '"': '&quot;', "'": '&#39;' }[c]));
  }

  // Builds the map into the element with id mapId and installs the page's functions on win.
  // options: { flavour: 'google' | 'naver', tiles: URL template or 'none' }.
  function installMapPage(win, L, topojson, mapId, options) {
    const flavour = options && options.flavour === 'naver' ? 'naver' : 'google';
    const calls = [];
    const errors = [];
    win.__calls = calls;
    win.__errors = errors;

    const map = L.map(mapId, { worldCopyJump: true, zoomControl: true });
    map.setView(WORLD_VIEW.center, WORLD_VIEW.zoom);
    // The outline lies beneath the tiles: covered while they load, visible where they do not.
    map.createPane('outline');
    map.getPane('outline').style.zIndex = 150;

    const state = {
      offline: false,
      tilesLoaded: 0,
      tileErrors: 0,
      outlineLoaded: false,
      positioned: false, // the map has been centred on the route since the last reset
      fixes: [],         // fix index -> { latlng, date, time }
      current: -1,
      outlineDone: !(typeof win.fetch === 'function' && topojson),
      lastChange: Date.now(), // the last call, tile or outline that changed what is drawn
    };
    function changed() { state.lastChange = Date.now(); }

    // The trip's line lies beneath everything else the viewer draws.
    const tripLine = L.polyline([], { color: '#e07020', weight: 6, opacity: 0.55, interactive: false });
    tripLine.addTo(map);
    const contentLayer = L.layerGroup().addTo(map);
    const routeLayer = L.layerGroup().addTo(map);
    const routeLine = L.polyline([], { color: '#1f5fd1', weight: 4, opacity: 0.8 });
    routeLayer.addLayer(routeLine);
    const currentMarker = L.marker([0, 0], {
      icon: L.divIcon({ className: 'pellister-current', iconSize: [22, 22], iconAnchor: [11, 11] }),
      zIndexOffset: 1000,
      keyboard: false,
    });

    // --- tiles, and what to do without them ---------------------------------------------
    const offlineNote = L.control({ position: 'bottomleft' });
    offlineNote.onAdd = function () {
      const div = L.DomUtil.create('div', 'pellister-offline-note');
      div.textContent = 'Offline: world outline only';
      return div;
    };
    let tileLayer = null;

    function goOffline() {
      if (state.offline) return;
      state.offline = true;
      if (tileLayer) {
        map.removeLayer(tileLayer);
        tileLayer = null;
      }
      offlineNote.addTo(map);
      if (win.document && win.document.body) win.document.body.classList.add('offline');
    }

    // Tiles are asked for even when the browser knows it is offline: the ones seen before come
    // from its disk cache. Only when none comes does the page go over to the outline.
    const tileUrl = (options && options.tiles) || DEFAULT_TILES;
    const attribution = (options && options.attribution) || ATTRIBUTION;
    if (tileUrl === 'none') {
      goOffline();
    } else {
      tileLayer = L.tileLayer(tileUrl, { maxZoom: 19, attribution });
      tileLayer.on('tileload', () => { state.tilesLoaded += 1; changed(); });
      // Tiles that never came, while none ever did: there is no tile server to be had.
      tileLayer.on('tileerror', () => {
        state.tileErrors += 1;
        changed();
        if (state.tilesLoaded === 0) goOffline();
      });
      tileLayer.addTo(map);
    }

    if (typeof win.fetch === 'function' && topojson) {
      win.fetch(OUTLINE_URL)
        .then((r) => (r.ok ? r.json() : Promise.reject(new Error('HTTP ' + r.status))))
        .then((topo) => {
          const land = topojson.feature(topo, topo.objects.countries);
          L.geoJSON(land, {
            pane: 'outline',
            interactive: false,
            style: { color: '#a0a0a0', weight: 1, fillColor: '#f2efe9', fillOpacity: 1 },
          }).addTo(map);
          state.outlineLoaded = true;
        })
        .catch((e) => errors.push('outline: ' + e.message))
        .finally(() => { state.outlineDone = true; changed(); });
    }

    // --- the functions the viewer calls ---------------------------------------------------
    function centre(latlng) {
      if (!state.positioned) {
        map.setView(latlng, state.offline ? ROUTE_ZOOM_OFFLINE : ROUTE_ZOOM_ONLINE, { animate: false });
        state.positioned = true;
      } else {
        map.setView(latlng, map.getZoom(), { animate: false });
      }
    }

    function clearRoute() {
      routeLayer.clearLayers();
      routeLine.setLatLngs([]);
      routeLayer.addLayer(routeLine);
      state.fixes = [];
      state.current = -1;
      if (map.hasLayer(currentMarker)) map.removeLayer(currentMarker);
    }

    const api = {
      initWholeRoute() {
        contentLayer.clearLayers();
        tripLine.setLatLngs([]);
        clearRoute();
        state.positioned = false;
      },
      createContentMarker(latlng, index, t) {
        if (!validLatLng(latlng)) return;
        const { date, time } = texts(t);
        const number = Number(index) + 1;
        const marker = L.marker([latlng.lat, latlng.lng], {
          icon: L.divIcon({
            className: 'pellister-start',
            html: '<span>' + number + '</span>',
            iconSize: [26, 26],
            iconAnchor: [13, 13],
          }),
          title: 'Recording ' + number + ': ' + date + ' ' + time,
        });
        marker.bindTooltip('<b>Recording ' + number + '</b><br>' + escapeHtml(date) + ' ' +
                           escapeHtml(time), { direction: 'top' });
        marker.pellister = { kind: 'start', index: Number(index), number, date, time };
        contentLayer.addLayer(marker);
      },
      initSingleRoute() {
        clearRoute();
        state.positioned = false;
      },
      clearHomeMarker() {
        if (map.hasLayer(currentMarker)) map.removeLayer(currentMarker);
      },
      createMarker(latlng, index, t) {
        if (!validLatLng(latlng)) return;
        const { date, time } = texts(t);
        const at = [latlng.lat, latlng.lng];
        state.fixes[Number(index)] = { latlng: at, date, time };
        routeLine.addLatLng(at);
        const dot = L.circleMarker(at, { radius: 4, color: '#1f5fd1', weight: 1,
                                         fillColor: '#ffffff', fillOpacity: 1 });
        dot.bindTooltip(escapeHtml(date) + ' ' + escapeHtml(time), { direction: 'top' });
        dot.pellister = { kind: 'fix', index: Number(index), date, time };
        routeLayer.addLayer(dot);
      },
      setCurrentPosition(index) {
        const fix = state.fixes[Number(index)];
        if (!fix) return;
        state.current = Number(index);
        currentMarker.setLatLng(fix.latlng);
        if (!map.hasLayer(currentMarker)) currentMarker.addTo(map);
      },
      setMapPosition(latlng) {
        if (!validLatLng(latlng)) return;
        centre([latlng.lat, latlng.lng]);
      },
      showTripRoute(points) {
        const at = (Array.isArray(points) ? points : []).filter(validLatLng).map((p) => [p.lat, p.lng]);
        tripLine.setLatLngs(at);
        if (at.length === 0) return;
        let south = at[0][0], north = at[0][0], west = at[0][1], east = at[0][1];
        for (const [lat, lng] of at) {
          south = Math.min(south, lat); north = Math.max(north, lat);
          west = Math.min(west, lng); east = Math.max(east, lng);
        }
        map.fitBounds([[south, west], [north, east]], { padding: [20, 20], animate: false,
                                                        maxZoom: state.offline ? ROUTE_ZOOM_OFFLINE : ROUTE_ZOOM_ONLINE });
        // Positions that follow keep the trip's zoom.
        state.positioned = true;
      },
    };

    // Each function records its call before it runs and keeps its errors to itself: the viewer
    // relies on nothing the page returns or throws.
    for (const name of Object.keys(api)) {
      win[name] = function () {
        const args = Array.prototype.slice.call(arguments);
        calls.push(name + '(' + args.map(argText).join(', ') + ')');
        if (calls.length > CALL_RECORD) calls.splice(0, calls.length - CALL_RECORD);
        changed();
        try {
          api[name].apply(null, args);
        } catch (e) {
          errors.push(name + ': ' + (e && e.message));
        }
      };
    }
    if (flavour === 'naver') win.NLatLng = LatLngType('NLatLng');
    else win.GLatLng = LatLngType('GLatLng');

    map.on('moveend zoomend', changed);

    // Whether what the viewer asked for is on screen: no tile or outline still on its way, and
    // nothing changed for quietMs (the browser has painted it since). The viewer asks before it
    // takes a picture of the page (the printed report).
    win.__drawnState = function () {
      return {
        current: map.hasLayer(currentMarker) ? state.current : -1,
        busy: !state.outlineDone || (tileLayer !== null && tileLayer.isLoading()),
        quietMs: Date.now() - state.lastChange,
      };
    };

    win.__mapState = function () {
      const c = map.getCenter();
      const starts = [];
      contentLayer.eachLayer((m) => {
        if (m.pellister && m.pellister.kind === 'start') {
          const p = m.getLatLng();
          starts.push({ number: m.pellister.number, lat: p.lat, lng: p.lng,
                        date: m.pellister.date, time: m.pellister.time });
        }
      });
      const cur = map.hasLayer(currentMarker) ? currentMarker.getLatLng() : null;
      return {
        flavour,
        offline: state.offline,
        tilesLoaded: state.tilesLoaded,
        tileErrors: state.tileErrors,
        outlineLoaded: state.outlineLoaded,
        center: { lat: c.lat, lng: c.lng },
        zoom: map.getZoom(),
        starts,
        route: routeLine.getLatLngs().map((p) => [p.lat, p.lng]),
        trip: tripLine.getLatLngs().map((p) => [p.lat, p.lng]),
        fixes: state.fixes.length,
        current: cur ? { index: state.current, lat: cur.lat, lng: cur.lng } : null,
      };
    };
    return map;
  }

  // The page's query: ?tiles=<template> replaces the tile server ("none": no tiles at all);
  // &attribution=<html> is the credit that tile source asks for (else OpenStreetMap's).
  function optionsFromLocation(win, flavour) {
    const options = { flavour };
    try {
      const q = new win.URLSearchParams(win.location.search);
      if (q.get('tiles')) options.tiles = q.get('tiles');
      if (q.get('attribution')) options.attribution = q.get('attribution');
    } catch (e) {
      // No query to read: the defaults hold.
    }
    return options;
  }

  const exported = { installMapPage, optionsFromLocation, fixed6, quoted };
  if (typeof module === 'object' && module.exports) module.exports = exported;
  root.PellisterMap = exported;
}(typeof window !== 'undefined' ? window : globalThis));
