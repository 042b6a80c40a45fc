// Types of vrk/zarr: the vrk codec for zarrita, registered on import.

/** The codec's configuration: the keys of Python's vrk.numcodecs.Vrk. */
export interface VrkCodecConfig {
  /** 0 lossless (the default), up to 12. */
  loss_factor?: number;
  graphics?: boolean;
  fast?: boolean;
  /** 8 for 8-bit samples, 16 for int16, 9 to 16 for uint16; null (the default): from each chunk. */
  bits_per_sample?: number | null;
  /** Accepted for Python's configs and ignored: WebAssembly runs on one thread. */
  threads?: number;
  /** true for int8 and int16 arrays (and only them). */
  signed?: boolean;
}

/** What zarrita passes a codec about the chunks it codes. */
export interface VrkChunkMeta {
  dataType: string;
  shape: number[];
  codecs: { name: string; configuration?: Record<string, unknown> }[];
}

/** One image per chunk, byte for byte as Python's vrk.numcodecs.Vrk codes it. */
export declare class VrkCodec {
  static readonly codecId: 'vrk';
  static fromConfig(config: VrkCodecConfig | undefined, meta: VrkChunkMeta): VrkCodec;
  /** Throws TypeError or RangeError for a bad configuration or an array vrk cannot hold. */
  constructor(config: VrkCodecConfig, meta: VrkChunkMeta);
  readonly kind: 'bytes_to_bytes';
  /** The chunk's little-endian sample bytes, in memory order, as a .vrk file. */
  encode(bytes: Uint8Array): Uint8Array;
  /** A .vrk file as the chunk's sample bytes; throws VrkError for damaged data. */
  decode(bytes: Uint8Array): Uint8Array;
}

/** Registers the codec as "vrk" and "numcodecs.vrk" in zarrita's registry (done on import) or another map. */
export declare function register(target?: Map<string, () => Promise<unknown>>): void;
