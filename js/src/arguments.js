// Checks of the options callers pass, shared by the calls and the zarr codec:
// each error names the option it refuses and the value it got.

/** The largest loss factor the format has. */
export const maxLossFactor = 12;

export function integer(name, value, low, high) {
  if (!Number.isInteger(value) || value < low || value > high) {
    throw new RangeError(`${name} must be an integer from ${low} to ${high}, not ${JSON.stringify(value)}`);
  }
  return value;
}

export function flag(name, value) {
  if (typeof value !== 'boolean') throw new TypeError(`${name} must be true or false, not ${JSON.stringify(value)}`);
  return value;
}
