#!/usr/bin/env node
// Reads the live page and its data stream as a browser does, with Node's own
// modules only (Node 20 has no WebSocket client): fetches the page, takes the
// run's token from it, opens the stream, and prints one line per message it
// waits for. Used where no browser runs (the Windows stage, under Wine).
//
//   stream_client.js URL [--plates P] [--frames N] [--stop] [--timeout SECONDS]
//
// Prints "page: BYTES bytes, token ..." then, for the snapshot and each frame,
// "TYPE seq=N plates=NAME,NAME columns=C state=yes|no", and with --stop the
// reply to a stop action, which ends the session. Exit code 0 when it got the
// page, the snapshot and N frames with samples of P plates (default 0: any
// frames), and the reply; 1 otherwise.
'use strict';

const http = require('http');
const crypto = require('crypto');

const args = process.argv.slice(2);
const url = new URL(args[0] || '');
const frames = Number(args.includes('--frames') ? args[args.indexOf('--frames') + 1] : 3);
const platesWanted = Number(args.includes('--plates') ? args[args.indexOf('--plates') + 1] : 0);
const stop = args.includes('--stop');
const timeout = Number(args.includes('--timeout') ? args[args.indexOf('--timeout') + 1] : 20);

function fail(text) {
  console.log(`FAIL: ${text}`);
  process.exit(1);
}
setTimeout(() => fail(`no answer within ${timeout} s`), timeout * 1000).unref();

function get(path) {
  return new Promise((resolve, reject) => {
    http.get({ host: url.hostname, port: url.port, path }, (response) => {
      const chunks = [];
      response.on('data', (chunk) => chunks.push(chunk));
      response.on('end', () => resolve({ status: response.statusCode, body: Buffer.concat(chunks) }));
    }).on('error', reject);
  });
}

/// Reads the server's (unmasked) frames from `socket`, calling `onMessage` with each text message.
function readFrames(socket, head, onMessage) {
  let buffer = head;
  let parts = [];
  socket.on('data', (chunk) => {
    buffer = Buffer.concat([buffer, chunk]);
    for (;;) {
      if (buffer.length < 2) return;
      const fin = (buffer[0] & 0x80) !== 0;
      const opcode = buffer[0] & 0x0f;
      let length = buffer[1] & 0x7f;
      let offset = 2;
      if (length === 126) {
        if (buffer.length < 4) return;
        length = buffer.readUInt16BE(2);
        offset = 4;
      } else if (length === 127) {
        if (buffer.length < 10) return;
        length = Number(buffer.readBigUInt64BE(2));
        offset = 10;
      }
      if (buffer.length < offset + length) return;
      const payload = buffer.subarray(offset, offset + length);
      buffer = buffer.subarray(offset + length);
      if (opcode === 8) fail('the server closed the stream');
      if (opcode === 1 || opcode === 0) {
        parts.push(payload);
        if (fin) {
          onMessage(Buffer.concat(parts).toString('utf8'));
          parts = [];
        }
      }
    }
  });
}

/// A client's frame: masked, as the protocol requires.
function textFrame(text) {
  const payload = Buffer.from(text, 'utf8');
  const mask = crypto.randomBytes(4);
  const header = payload.length < 126 ? Buffer.from([0x81, 0x80 | payload.length]) : Buffer.from([0x81, 0xfe, payload.length >> 8, payload.length & 0xff]);
  const masked = Buffer.from(payload.map((byte, i) => byte ^ mask[i % 4]));
  return Buffer.concat([header, mask, masked]);
}

(async () => {
  const page = await get('/');
  if (page.status !== 200) fail(`the page: HTTP ${page.status}`);
  const match = /name="zorva-token" content="([0-9a-f]+)"/.exec(page.body.toString('utf8'));
  if (!match) fail('the page carries no token');
  const token = match[1];
  const script = await get('/uPlot.iife.min.js');
  if (script.status !== 200 || script.body.length < 10000) fail(`uPlot: HTTP ${script.status}, ${script.body.length} bytes`);
  console.log(`page: ${page.body.length} bytes, uPlot ${script.body.length} bytes, token ${token.length} digits`);

  const request = http.request({
    host: url.hostname,
    port: url.port,
    path: `/stream?token=${token}`,
    headers: {
      Connection: 'Upgrade',
      Upgrade: 'websocket',
      'Sec-WebSocket-Version': '13',
      'Sec-WebSocket-Key': crypto.randomBytes(16).toString('base64'),
      Origin: `http://${url.host}`,
    },
  });
  request.on('response', (response) => fail(`the stream was refused: HTTP ${response.statusCode}`));
  request.on('error', (error) => fail(`the stream: ${error.message}`));
  request.on('upgrade', (response, socket, head) => {
    let seen = 0;
    let stopped = false;
    readFrames(socket, head, (text) => {
      const message = JSON.parse(text);
      if (message.type === 'reply') {
        console.log(`reply ok=${message.ok} ${message.text}`);
        if (stopped) process.exit(message.ok ? 0 : 1);
        return;
      }
      if (message.type !== 'frame' && message.type !== 'snapshot') return;
      const plates = Object.keys(message.plates || {});
      const columns = plates.reduce((sum, name) => sum + message.plates[name].columns.length, 0);
      const counted = message.type === 'frame' && plates.length >= platesWanted && (platesWanted === 0 || columns > 0);
      if (counted || message.type === 'snapshot')
        console.log(`${message.type} seq=${message.seq} plates=${plates.join(',')} columns=${columns} state=${message.state ? 'yes' : 'no'}`);
      seen += counted ? 1 : 0;
      if (seen < frames || stopped) return;
      if (!stop) process.exit(0);
      stopped = true;
      socket.write(textFrame('request=1&action=stop'));
    });
  });
  request.end();
})().catch((error) => fail(error.message));
