// Numbers as the page's texts write them: counts grouped by thousands, offsets in hexadecimal,
// and a count with its noun, singular at one ("1 byte", "2 bytes").
export const number = (value) => value.toLocaleString('en-US');
export const hex = (value) => `0x${value.toString(16).toUpperCase()}`;
export const plural = (count, one, many = `${one}s`) => `${number(count)} ${count === 1 ? one : many}`;
