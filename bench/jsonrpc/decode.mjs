// The anchor for NBELSPDecodeBench: the same stream of 100,000 didChange
// messages (about 630 bytes each), fed in random chunks of 1 byte to 64 KiB,
// decoded by vscode-jsonrpc's stream reader. Prints messages per second.
import { PassThrough } from 'node:stream';
import rpc from 'vscode-jsonrpc/node.js';

const count = 100000;
function body(version) {
  let text = '';
  for (let i = 0; text.length < 380; ++i)
    text += `  .card-${i} > a[href="/x"] { color: #${String((i * 7919) % 999999).padStart(6, '0')}; }\n`;
  return JSON.stringify({
    jsonrpc: '2.0', method: 'textDocument/didChange',
    params: { contentChanges: [{ text }], textDocument: { uri: 'file:///home/user/project/assets/css/site.css', version } },
  });
}
const parts = [];
for (let v = 1; v <= count; ++v) {
  const b = Buffer.from(body(v), 'utf8');
  parts.push(Buffer.from(`Content-Length: ${b.length}\r\n\r\n`, 'ascii'), b);
}
const stream = Buffer.concat(parts);
let seed = 7;
const random = () => ((seed = (seed * 1103515245 + 12345) % 2147483648) / 2147483648);
const chunks = [];
for (let at = 0; at < stream.length;) {
  const n = Math.min(1 + Math.floor(random() * 65536), stream.length - at);
  chunks.push(stream.subarray(at, at + n));
  at += n;
}

async function run() {
  const input = new PassThrough();
  const reader = new rpc.StreamMessageReader(input);
  let expected = 1, desyncs = 0;
  const start = process.hrtime.bigint();
  const cpuStart = process.cpuUsage();
  const done = new Promise((resolve) => {
    reader.listen((message) => {
      if (message.params?.textDocument?.version !== expected) ++desyncs;
      if (++expected > count) resolve();
    });
  });
  for (const chunk of chunks) input.write(chunk);
  await done;
  const seconds = Number(process.hrtime.bigint() - start) / 1e9;
  const cpu = process.cpuUsage(cpuStart);
  const cpuSeconds = (cpu.user + cpu.system) / 1e6;
  reader.dispose();
  return { rate: count / seconds, cpuRate: count / cpuSeconds, desyncs };
}

// The bare loop: the same chunks framed by hand (header, Content-Length,
// body) and each body given to JSON.parse, with nothing else around it.
function bare() {
  let pending = Buffer.alloc(0), expected = 1, desyncs = 0;
  const start = process.hrtime.bigint();
  for (const chunk of chunks) {
    pending = pending.length ? Buffer.concat([pending, chunk]) : chunk;
    for (;;) {
      const end = pending.indexOf('\r\n\r\n');
      if (end < 0) break;
      const match = /Content-Length: *(\d+)/i.exec(pending.toString('ascii', 0, end));
      const length = match ? Number(match[1]) : 0;
      if (pending.length < end + 4 + length) break;
      const message = JSON.parse(pending.toString('utf8', end + 4, end + 4 + length));
      if (message.params?.textDocument?.version !== expected) ++desyncs;
      ++expected;
      pending = pending.subarray(end + 4 + length);
    }
  }
  return { rate: count / (Number(process.hrtime.bigint() - start) / 1e9), desyncs };
}
const bareRates = [];
for (let i = 0; i < 5; ++i) {
  const { rate, desyncs } = bare();
  bareRates.push(rate);
  console.log(`bare run ${i + 1}: ${Math.round(rate)} messages/s wall, ${desyncs} desyncs`);
}
bareRates.sort((a, b) => a - b);
console.log(`bare framing + JSON.parse median: ${Math.round(bareRates[2])} messages/s wall`);

const rates = [], cpuRates = [];
for (let i = 0; i < 5; ++i) {
  const { rate, cpuRate, desyncs } = await run();
  rates.push(rate);
  cpuRates.push(cpuRate);
  console.log(`run ${i + 1}: ${Math.round(rate)} messages/s wall, ${Math.round(cpuRate)} per CPU second, ${desyncs} desyncs`);
}
rates.sort((a, b) => a - b);
cpuRates.sort((a, b) => a - b);
console.log(`vscode-jsonrpc median: ${Math.round(rates[2])} messages/s wall, ${Math.round(cpuRates[2])} per CPU second (average body ${Math.round(stream.length / count)} bytes)`);
