// Prints the document symbols that the TypeScript language server reports
// for a JavaScript file, flattened, one "kind line name" a line.
// Usage: node ts_symbols.mjs <server cli.mjs> <file.js>
import { spawn } from "node:child_process";
import { readFileSync } from "node:fs";
import { pathToFileURL } from "node:url";
import path from "node:path";

const [serverScript, file] = process.argv.slice(2);
const uri = pathToFileURL(path.resolve(file)).href;
const server = spawn(process.execPath, [serverScript, "--stdio"], { stdio: ["pipe", "pipe", "inherit"] });
let buffer = Buffer.alloc(0);
const waiting = new Map();
let nextId = 1;

function send(message) {
    const body = Buffer.from(JSON.stringify({ jsonrpc: "2.0", ...message }), "utf8");
    server.stdin.write(`Content-Length: ${body.length}\r\n\r\n`);
    server.stdin.write(body);
}
function request(method, params) {
    const id = nextId++;
    send({ id, method, params });
    return new Promise((resolve) => waiting.set(id, resolve));
}
server.stdout.on("data", (chunk) => {
    buffer = Buffer.concat([buffer, chunk]);
    for (;;) {
        const end = buffer.indexOf("\r\n\r\n");
        if (end < 0) return;
        const length = Number(/Content-Length: (\d+)/i.exec(buffer.subarray(0, end).toString())[1]);
        if (buffer.length < end + 4 + length) return;
        const message = JSON.parse(buffer.subarray(end + 4, end + 4 + length).toString("utf8"));
        buffer = buffer.subarray(end + 4 + length);
        if (message.id !== undefined && message.method) send({ id: message.id, result: null });
        else if (message.id !== undefined && waiting.has(message.id)) waiting.get(message.id)(message.result);
    }
});

const timer = setTimeout(() => { console.error("timed out"); process.exit(2); }, 60000);
await request("initialize", {
    processId: process.pid,
    rootUri: pathToFileURL(path.dirname(path.resolve(file))).href,
    capabilities: { textDocument: { documentSymbol: { hierarchicalDocumentSymbolSupport: true } } },
});
send({ method: "initialized", params: {} });
send({
    method: "textDocument/didOpen",
    params: { textDocument: { uri, languageId: "javascript", version: 1, text: readFileSync(file, "utf8") } },
});
const symbols = await request("textDocument/documentSymbol", { textDocument: { uri } });
const lines = [];
(function walk(list) {
    for (const symbol of list || []) {
        lines.push(`${symbol.kind} ${symbol.selectionRange.start.line + 1} ${symbol.name}`);
        walk(symbol.children);
    }
})(symbols);
console.log(lines.join("\n"));
await request("shutdown", null);
send({ method: "exit" });
clearTimeout(timer);
server.kill();
