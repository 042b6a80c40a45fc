// The viewer page: opens a .vrk file (picker, drop, ?file=URL) or a frame of a
// zarr array (?zarr=URL&frame=N), decodes it in a worker and shows it.
// For tests, <body> carries data-state (empty | loading | ready | error),
// data-source (what is shown or failed), data-sha256 (of the decoded samples'
// bytes) and data-error-code (the library's code name, on errors).
import { PanZoom } from './pan_zoom.js';
import { autoWindow, hasWindow, paletteName, renderRgba } from './render.js';

const $ = (id) => document.getElementById(id);
const body = document.body;
const canvas = $('canvas');
const context = canvas.getContext('2d');
const windowLevel = $('window-level');
const windowWidth = $('window-width');
const zoomButtons = ['zoom-in', 'zoom-out', 'zoom-actual', 'zoom-fit'].map($);

const view = new PanZoom($('viewport'), canvas, (zoom) => {
  $('zoom-level').value = `${+(zoom * 100).toPrecision(3)}%`;
});

const worker = new Worker(new URL('./decode_worker.js', import.meta.url), { type: 'module' });
let request = 0;
let shown = null; // { image, label }

function setState(state, label) {
  body.dataset.state = state;
  body.dataset.source = label ?? '';
  $('hint').hidden = state !== 'empty';
  $('progress').hidden = state !== 'loading';
  $('error-panel').hidden = state !== 'error';
  canvas.hidden = state !== 'ready';
  view.enabled = state === 'ready';
  for (const button of [...zoomButtons, $('save-png')]) button.disabled = state !== 'ready';
  if (state !== 'ready') {
    $('window-controls').hidden = true;
    delete body.dataset.sha256;
  }
  if (state !== 'error') delete body.dataset.errorCode;
}

function load(source, label) {
  request += 1;
  shown = null;
  setState('loading', label);
  $('description').replaceChildren();
  const transfer = source.kind === 'bytes' ? [source.bytes] : [];
  worker.postMessage({ id: request, source }, transfer);
}

worker.onmessage = ({ data: { id, image, error } }) => {
  if (id !== request) return; // a newer file was opened meanwhile
  const label = body.dataset.source;
  if (error) showError(error, label);
  else show(image, label);
};

worker.onerror = (event) => {
  event.preventDefault();
  showError({ message: 'The decoder could not be loaded.', code: 'OTHER' }, body.dataset.source);
};

function showError(error, label) {
  setState('error', label);
  body.dataset.errorCode = error.code;
  $('error-title').textContent = label ? `Cannot show ${label}` : 'Cannot show this image';
  $('error').textContent = error.message;
}

function describe(image, label) {
  const pixels = image.width * image.height;
  const kind = image.channels === 3 ? 'colour (RGB)'
    : paletteName(image) ? `colour-map indices, shown through the ${paletteName(image)}`
      : image.signed ? 'signed grey' : 'grey';
  const rows = [
    ['Source', label],
    ['Size', `${image.width} × ${image.height} pixels`],
    ['Samples', `${image.bitsPerSample}-bit ${kind}`],
    ['Channels', String(image.channels)],
    ['Format', image.zarr ? `zarr array (${image.zarr.dtype}), frame ${image.zarr.frame} (frames 0 to ${image.zarr.frames - 1})`
      : image.format],
    ['Engine', image.graphics ? 'graphics' : 'wavelet'],
    ['Coder', image.fast ? 'prefix codes' : 'arithmetic'],
    ['Loss factor', image.lossFactor === 0 ? 'lossless' : String(image.lossFactor)],
    ['Compressed', `${image.compressedBytes.toLocaleString('en')} bytes`],
    ['Bits per pixel', ((image.compressedBytes * 8) / pixels).toFixed(3)],
    ['Decode time', `${image.decodeMs.toFixed(1)} ms`],
  ];
  $('description').replaceChildren(...rows.flatMap(([term, value]) => {
    const dt = document.createElement('dt');
    const dd = document.createElement('dd');
    dt.textContent = term;
    dd.textContent = value;
    return [dt, dd];
  }));
}

function draw() {
  const { image } = shown;
  const levels = hasWindow(image) ? { level: Number(windowLevel.value), width: Number(windowWidth.value) } : null;
  const rgba = renderRgba(image, levels);
  context.putImageData(new ImageData(rgba, image.width, image.height), 0, 0);
}

function setWindow({ level, width }) {
  windowLevel.value = String(level);
  windowWidth.value = String(width);
}

function show(image, label) {
  shown = { image, label };
  canvas.width = image.width;
  canvas.height = image.height;
  if (hasWindow(image)) setWindow(autoWindow(image));
  draw();
  describe(image, label);
  setState('ready', label);
  $('window-controls').hidden = !hasWindow(image);
  if (image.sha256) body.dataset.sha256 = image.sha256;
  view.fit();
}

function onWindowInput() {
  const level = Number(windowLevel.value);
  const width = Number(windowWidth.value);
  // Ignore half-typed values; the picture keeps the last valid window.
  if (shown && windowLevel.value !== '' && Number.isFinite(level) && width >= 1) draw();
}

windowLevel.addEventListener('input', onWindowInput);
windowWidth.addEventListener('input', onWindowInput);
$('window-auto').addEventListener('click', () => {
  if (!shown) return;
  setWindow(autoWindow(shown.image));
  draw();
});

$('zoom-in').addEventListener('click', () => view.zoomCentre(1.25));
$('zoom-out').addEventListener('click', () => view.zoomCentre(0.8));
$('zoom-actual').addEventListener('click', () => view.actualSize());
$('zoom-fit').addEventListener('click', () => view.fit());

function pngName(label) {
  const name = (label ?? 'image').split(/[/?#]/).filter(Boolean).pop() ?? 'image';
  return `${name.replace(/\.vrk$/i, '')}.png`;
}

$('save-png').addEventListener('click', () => {
  if (!shown) return;
  const { label } = shown;
  canvas.toBlob((blob) => {
    const link = document.createElement('a');
    link.href = URL.createObjectURL(blob);
    link.download = pngName(label);
    link.click();
    // The download reads the blob asynchronously: free it well after.
    setTimeout(() => URL.revokeObjectURL(link.href), 60_000);
  }, 'image/png');
});

async function openFile(file) {
  if (!file) return;
  let bytes;
  try {
    bytes = await file.arrayBuffer();
  } catch (error) {
    request += 1; // whatever was decoding is no longer wanted
    showError({ message: `Cannot read the file: ${error.message}`, code: 'OTHER' }, file.name);
    return;
  }
  load({ kind: 'bytes', bytes, name: file.name }, file.name);
}

$('open-file').addEventListener('click', () => $('file-input').click());
$('file-input').addEventListener('change', (event) => {
  openFile(event.target.files[0]);
  event.target.value = ''; // choosing the same file again opens it again
});

const hasFiles = (event) => event.dataTransfer?.types.includes('Files');
window.addEventListener('dragover', (event) => {
  if (!hasFiles(event)) return;
  event.preventDefault();
  event.dataTransfer.dropEffect = 'copy';
  $('viewport').classList.add('drop-target');
});
window.addEventListener('dragleave', (event) => {
  if (event.relatedTarget === null) $('viewport').classList.remove('drop-target');
});
window.addEventListener('drop', (event) => {
  $('viewport').classList.remove('drop-target');
  if (!hasFiles(event)) return;
  event.preventDefault();
  openFile(event.dataTransfer.files[0]);
});

function openFromAddress() {
  const params = new URLSearchParams(location.search);
  const file = params.get('file');
  const zarr = params.get('zarr');
  if (file) {
    load({ kind: 'url', url: new URL(file, location.href).href }, file);
  } else if (zarr) {
    const frameText = params.get('frame') ?? '0';
    const frame = /^\d+$/.test(frameText) ? Number(frameText) : NaN;
    const label = `${zarr} frame ${frameText}`;
    if (Number.isNaN(frame)) {
      showError({ message: `frame must be a whole number from 0, not "${frameText}"`, code: 'ZARR' }, label);
      return;
    }
    load({ kind: 'zarr', url: new URL(zarr, location.href).href, frame }, label);
  } else {
    setState('empty');
  }
}

openFromAddress();
