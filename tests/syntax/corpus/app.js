// A small module with the shapes the outline knows.
import { helper } from "./helper.js";

export default class Widget extends Base {
    static create(options) {
        return new Widget(options);
    }

    constructor(options) {
        super(options);
        this.label = "{ not a brace }";
    }

    async load(url) {
        if (url) {
            const response = await fetch(url);
            return response.json();
        }
        while (false) {}
    }

    get size() {
        return 3;
    }
}

export function formatDate(date) {
    return `${date.getFullYear()}-{}`;
}

function* counter() {
    yield 1;
}

export async function fetchAll(urls) {
    /* { comment brace */
    return Promise.all(urls.map((u) => fetch(u)));
}

const double = (x) => x * 2;
let shout = async (text) => text.toUpperCase();
var legacy = function () {
    return 1;
};

class Store {
    add(item) {
        this.items.push(item);
    }
}
