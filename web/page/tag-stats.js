// The counts per tag of the shown file, kept in the core's worker as numbers (four per tag, as
// qef_tag_counts writes them: tag, first record, records, data bytes) and sorted there, so that
// the page only ever gets the rows and the bars it shows, for millions of tags as for ten.
import { number } from './numbers.js';

const WORDS = 4;
const [TAG, FIRST, RECORDS, BYTES] = [0, 1, 2, 3];
const ORDERS = { records: RECORDS, bytes: BYTES }; // the most first; 'first' is the order tags appear

export class TagStats {
    // `words` the counts; `textOf(tag)` the tag's hexadecimal and its name, as the core writes them.
    constructor(words, textOf) {
        this.words = words;
        this.count = words.length / WORDS;
        this.textOf = textOf;
        this.sorted = {}; // order -> the tags' indexes in it, made when first asked for
    }

    sum(word, from = 0, order = null) {
        let total = 0;
        for (let k = from; k < this.count; k++) total += this.words[(order ? order[k] : k) * WORDS + word];
        return total;
    }

    summary() {
        return { tags: this.count, records: this.sum(RECORDS), bytes: this.sum(BYTES) };
    }

    // The indexes in `name` order, ties in the order tags first appear: one sort of numbers that
    // hold the count above the index, as a typed array sorts them without a comparison function.
    order(name) {
        const word = ORDERS[name];
        if (word === undefined) return null;
        if (!this.sorted[name]) {
            const keys = new Float64Array(this.count);
            // Counts and indexes of a file of at most 32,000,000 bytes fit in 2^25 and 2^22.
            for (let k = 0; k < this.count; k++) keys[k] = (2 ** 25 - this.words[k * WORDS + word]) * 2 ** 22 + k;
            keys.sort();
            this.sorted[name] = Uint32Array.from(keys, (key) => key % 2 ** 22);
        }
        return this.sorted[name];
    }

    at(position, order) {
        const k = order ? order[position] : position;
        const [hex, ...name] = this.textOf(this.words[k * WORDS + TAG]).split(' ');
        return {
            tag: hex,
            name: name.join(' '),
            first: this.words[k * WORDS + FIRST],
            records: this.words[k * WORDS + RECORDS],
            bytes: this.words[k * WORDS + BYTES],
        };
    }

    // Rows [first, first + count) in `orderName`: { text, first }, the text in the list's columns.
    rows(first, count, orderName) {
        const order = this.order(orderName);
        const rows = [];
        for (let k = first; k < Math.min(this.count, first + count); k++) {
            const tag = this.at(k, order);
            const text = `${tag.tag}  ${tag.name.padEnd(20)} ${number(tag.records).padStart(11)} ${number(tag.bytes).padStart(14)}`;
            rows.push({ text, first: tag.first });
        }
        return rows;
    }

    // The `count` largest in `orderName` and the rest summed.
    chart(count, orderName) {
        const order = this.order(orderName) || this.order('records');
        const bars = [];
        for (let k = 0; k < Math.min(count, this.count); k++) bars.push(this.at(k, order));
        const rest = { tags: Math.max(0, this.count - count), records: this.sum(RECORDS, count, order), bytes: this.sum(BYTES, count, order) };
        return { bars, rest };
    }
}
