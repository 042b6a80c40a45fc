// Zoom (wheel, keys, buttons) and pan (drag, arrow keys) of the full-resolution
// canvas inside its viewport, with a CSS transform: the pixels are drawn once.

const minZoom = 1 / 64;
const maxZoom = 64;
const maxFitZoom = 16;

export class PanZoom {
  constructor(viewport, canvas, onChange) {
    this.viewport = viewport;
    this.canvas = canvas;
    this.onChange = onChange;
    this.zoom = 1;
    this.x = 0;
    this.y = 0;
    this.fitted = true; // follow the viewport's size until the user zooms or pans
    this.enabled = false;
    this.#listen();
  }

  /** Fits the image in the viewport: shrunk to fit, or enlarged by a whole factor so pixels stay square. */
  fit() {
    const { clientWidth, clientHeight } = this.viewport;
    let zoom = Math.min(clientWidth / this.canvas.width, clientHeight / this.canvas.height);
    if (zoom >= 1) zoom = Math.min(Math.floor(zoom), maxFitZoom);
    this.zoom = Math.max(zoom, minZoom);
    this.x = Math.round((clientWidth - this.canvas.width * this.zoom) / 2);
    this.y = Math.round((clientHeight - this.canvas.height * this.zoom) / 2);
    this.fitted = true;
    this.#apply();
  }

  actualSize() {
    this.zoomAt(1 / this.zoom, this.viewport.clientWidth / 2, this.viewport.clientHeight / 2);
  }

  /** Multiplies the zoom by factor, keeping the viewport point (px, py) over the same image point. */
  zoomAt(factor, px, py) {
    const zoom = Math.min(maxZoom, Math.max(minZoom, this.zoom * factor));
    this.x = px - ((px - this.x) * zoom) / this.zoom;
    this.y = py - ((py - this.y) * zoom) / this.zoom;
    this.zoom = zoom;
    this.fitted = false;
    this.#apply();
  }

  zoomCentre(factor) {
    this.zoomAt(factor, this.viewport.clientWidth / 2, this.viewport.clientHeight / 2);
  }

  panBy(dx, dy) {
    this.x += dx;
    this.y += dy;
    this.fitted = false;
    this.#apply();
  }

  #apply() {
    this.canvas.style.transform = `translate(${this.x}px, ${this.y}px) scale(${this.zoom})`;
    // Enlarged pixels stay sharp squares; shrinking keeps the browser's smoothing.
    this.canvas.classList.toggle('pixelated', this.zoom > 1);
    this.onChange(this.zoom);
  }

  #listen() {
    const { viewport } = this;
    viewport.addEventListener('wheel', (event) => {
      if (!this.enabled) return;
      event.preventDefault();
      const pixels = event.deltaMode === WheelEvent.DOM_DELTA_LINE ? event.deltaY * 16 : event.deltaY;
      const box = viewport.getBoundingClientRect();
      this.zoomAt(Math.exp(-pixels * 0.002), event.clientX - box.left, event.clientY - box.top);
    }, { passive: false });

    let drag = null;
    viewport.addEventListener('pointerdown', (event) => {
      if (!this.enabled || event.button !== 0) return;
      drag = { id: event.pointerId, x: event.clientX, y: event.clientY };
      viewport.setPointerCapture(event.pointerId);
      viewport.classList.add('dragging');
    });
    viewport.addEventListener('pointermove', (event) => {
      if (drag?.id !== event.pointerId) return;
      this.panBy(event.clientX - drag.x, event.clientY - drag.y);
      drag.x = event.clientX;
      drag.y = event.clientY;
    });
    const end = (event) => {
      if (drag?.id !== event.pointerId) return;
      drag = null;
      viewport.classList.remove('dragging');
    };
    viewport.addEventListener('pointerup', end);
    viewport.addEventListener('pointercancel', end);

    const keys = {
      '+': () => this.zoomCentre(1.25), '=': () => this.zoomCentre(1.25), '-': () => this.zoomCentre(0.8),
      0: () => this.fit(), 1: () => this.actualSize(),
      ArrowLeft: () => this.panBy(40, 0), ArrowRight: () => this.panBy(-40, 0),
      ArrowUp: () => this.panBy(0, 40), ArrowDown: () => this.panBy(0, -40),
    };
    viewport.addEventListener('keydown', (event) => {
      const action = keys[event.key];
      if (!this.enabled || !action) return;
      event.preventDefault();
      action();
    });
    new ResizeObserver(() => {
      if (this.enabled && this.fitted) this.fit();
    }).observe(viewport);
  }
}
