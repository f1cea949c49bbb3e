// A stand-in for the part of Leaflet that the map page uses, holding what would be drawn as
// plain data. Real Leaflet needs a DOM with layout; the page's own logic does not.
'use strict';

function createFakeLeaflet() {
  class LatLng {
    constructor(lat, lng) {
      this.lat = lat;
      this.lng = lng;
    }
  }

  function toLatLng(a) {
    if (a instanceof LatLng) return a;
    if (Array.isArray(a)) return new LatLng(Number(a[0]), Number(a[1]));
    if (a && typeof a === 'object' && 'lat' in a) return new LatLng(Number(a.lat), Number(a.lng));
    throw new Error('Invalid LatLng object: ' + a);
  }

  function checked(ll) {
    // Leaflet refuses coordinates that are not numbers.
    if (Number.isNaN(ll.lat) || Number.isNaN(ll.lng)) {
      throw new Error('Invalid LatLng object: (' + ll.lat + ', ' + ll.lng + ')');
    }
    return ll;
  }

  class Evented {
    constructor() {
      this._handlers = {};
    }
    on(type, fn) {
      (this._handlers[type] = this._handlers[type] || []).push(fn);
      return this;
    }
    fire(type, data) {
      for (const fn of this._handlers[type] || []) fn(Object.assign({ type, target: this }, data));
      return this;
    }
  }

  class Layer extends Evented {
    constructor(options) {
      super();
      this.options = Object.assign({}, options);
      this._map = null;
    }
    addTo(map) {
      map.addLayer(this);
      return this;
    }
    remove() {
      if (this._map) this._map.removeLayer(this);
      return this;
    }
    bindTooltip(content, options) {
      this.tooltip = { content, options };
      return this;
    }
  }

  class Marker extends Layer {
    constructor(latlng, options) {
      super(options);
      this._latlng = checked(toLatLng(latlng));
    }
    setLatLng(latlng) {
      this._latlng = checked(toLatLng(latlng));
      return this;
    }
    getLatLng() {
      return this._latlng;
    }
  }

  class CircleMarker extends Marker {}

  class Polyline extends Layer {
    constructor(latlngs, options) {
      super(options);
      this._latlngs = (latlngs || []).map((p) => checked(toLatLng(p)));
    }
    addLatLng(latlng) {
      this._latlngs.push(checked(toLatLng(latlng)));
      return this;
    }
    setLatLngs(latlngs) {
      this._latlngs = latlngs.map((p) => checked(toLatLng(p)));
      return this;
    }
    getLatLngs() {
      return this._latlngs.slice();
    }
  }

  class LayerGroup extends Layer {
    constructor(layers) {
      super();
      this._layers = new Set(layers || []);
    }
    addLayer(layer) {
      this._layers.add(layer);
      return this;
    }
    removeLayer(layer) {
      this._layers.delete(layer);
      return this;
    }
    hasLayer(layer) {
      return this._layers.has(layer);
    }
    clearLayers() {
      this._layers.clear();
      return this;
    }
    eachLayer(fn) {
      for (const l of this._layers) fn(l);
      return this;
    }
    getLayers() {
      return Array.from(this._layers);
    }
  }

  class TileLayer extends Layer {
    constructor(url, options) {
      super(options);
      this.url = url;
    }
    isLoading() {
      return false;
    }
  }

  class GeoJSON extends Layer {
    constructor(data, options) {
      super(options);
      this.features = data && data.type === 'FeatureCollection' ? data.features : [data];
    }
  }

  class Control {
    constructor(options) {
      this.options = Object.assign({ position: 'topright' }, options);
    }
    addTo(map) {
      this._container = this.onAdd ? this.onAdd(map) : null;
      map.controls.push(this);
      return this;
    }
  }

  class FakeMap extends Evented {
    constructor(id, options) {
      super();
      this.id = id;
      this.options = Object.assign({}, options);
      this.layers = new Set();
      this.controls = [];
      this.panes = {};
      this._center = null;
      this._zoom = undefined;
    }
    setView(center, zoom) {
      this._center = checked(toLatLng(center));
      if (zoom !== undefined) this._zoom = zoom;
      return this;
    }
    setZoom(zoom) {
      this._zoom = zoom;
      return this;
    }
    fitBounds(bounds, options) {
      const [[s, w], [n, e]] = bounds;
      this._bounds = bounds;
      this._center = checked(toLatLng([(s + n) / 2, (w + e) / 2]));
      this._fitOptions = options;
      return this;
    }
    getCenter() {
      return this._center;
    }
    getZoom() {
      return this._zoom;
    }
    createPane(name) {
      this.panes[name] = { style: {} };
      return this.panes[name];
    }
    getPane(name) {
      return this.panes[name];
    }
    addLayer(layer) {
      this.layers.add(layer);
      layer._map = this;
      return this;
    }
    removeLayer(layer) {
      this.layers.delete(layer);
      layer._map = null;
      return this;
    }
    hasLayer(layer) {
      return this.layers.has(layer);
    }
  }

  const L = {
    maps: [],
    map(id, options) {
      const m = new FakeMap(id, options);
      L.maps.push(m);
      return m;
    },
    marker: (ll, o) => new Marker(ll, o),
    circleMarker: (ll, o) => new CircleMarker(ll, o),
    polyline: (lls, o) => new Polyline(lls, o),
    layerGroup: (layers) => new LayerGroup(layers),
    tileLayer: (url, o) => new TileLayer(url, o),
    geoJSON: (data, o) => new GeoJSON(data, o),
    divIcon: (o) => ({ options: Object.assign({}, o) }),
    control: (o) => new Control(o),
    DomUtil: {
      create: (tag, className) => ({ tagName: tag, className, textContent: '' }),
    },
    classes: { Marker, CircleMarker, Polyline, LayerGroup, TileLayer, GeoJSON, FakeMap },
  };
  return L;
}

module.exports = { createFakeLeaflet };
