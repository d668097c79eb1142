// Keeps the page's files for use without a network after the first visit.
// The build writes the list of files and the cache's name (a digest of
// their contents) into precache.js.
'use strict';

importScripts('precache.js');

self.addEventListener('install', event => {
  event.waitUntil(caches.open(self.vocalumeCache).then(cache => cache.addAll(self.vocalumeFiles))
                    .then(() => self.skipWaiting()));
});

self.addEventListener('activate', event => {
  event.waitUntil(caches.keys()
                    .then(names => Promise.all(names.filter(n => n.startsWith('vocalume-') && n !== self.vocalumeCache)
                                                 .map(n => caches.delete(n))))
                    .then(() => self.clients.claim()));
});

// The page's own files from the cache, everything else from the network.
self.addEventListener('fetch', event => {
  const request = event.request;
  if (request.method !== 'GET' || new URL(request.url).origin !== self.location.origin)
    return;
  event.respondWith(caches.open(self.vocalumeCache).then(cache => cache.match(request, { ignoreSearch: true })
                      .then(hit => hit || fetch(request))));
});
